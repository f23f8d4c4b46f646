// <windows.h> as the Win32 files take it: without the rarely used parts and
// without the min and max macros, which would break std::min and std::max.
// Included only by the Win32 side of the host layer and the Win32 dialog.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
