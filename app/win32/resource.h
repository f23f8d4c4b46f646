// Resource ids of tarnwad-gui, shared by the resource script and the code.
// Plain #defines: the resource compiler reads this file too.
#pragma once

// The application's icon: the lowest id, so that the shell shows it for the
// executable.
#define IDI_TARNWAD 1

// The dialog and its controls, in tab order.
#define IDD_MAIN 101
#define IDC_PATH 1000
#define IDC_BROWSE 1001
#define IDC_UNPACK 1002
#define IDC_STATUS 1003
