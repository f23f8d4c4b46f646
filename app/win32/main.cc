// tarnwad-gui: the desktop dialog that unpacks Tarnhollow WAD archives.
#include "app/unpack_dialog.h"
#include "app/win32/unpack_window.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/standard_streams.h"

// After <windows.h>, which it builds on.
#include <commctrl.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    vfs::host::OpenMissingStandardStreams();
    vfs::host::IgnoreFileSizeLimitSignal();
    // The standard controls of common controls 6 (the manifest asks for
    // them), with the system's visual styles.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    tarnwad::win32::UnpackWindow window;
    {
        // Both handles empty; destroying the dialog releases `destination`,
        // then `source`.
        tarnwad::UnpackDialog dialog(window);
        // Normally no window is active yet: the dialog then has no owner.
        window.Run(instance, GetActiveWindow(), dialog);
    }
    // Whatever the dialog ended with.
    return 0;
}
