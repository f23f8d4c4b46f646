// tarnwad-gui: the desktop dialog that unpacks Tarnhollow WAD archives.
#include "app/unpack_dialog.h"
#include "app/win32/unpack_window.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/standard_streams.h"

// After <windows.h>, which it builds on.
#include <commctrl.h>

#include <cstdlib>
#include <string>

namespace {

// The archive named on the command line: its first argument, as the runtime
// splits the line by the rules of Windows (quotes, backslashes before
// quotes); any others are ignored. Made absolute against the current
// directory, since the library resolves a relative path against the
// program's own folder. Empty without one.
std::string StartPath() {
    if (__argc < 2 || __argv == nullptr || __argv[1] == nullptr || __argv[1][0] == '\0') {
        return {};
    }
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(__argv[1], sizeof(full), full, nullptr);
    if (length == 0 || length >= sizeof(full)) {
        return __argv[1];
    }
    return std::string(full, length);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    vfs::host::OpenMissingStandardStreams();
    vfs::host::IgnoreFileSizeLimitSignal();
    // The standard controls of common controls 6 (the manifest asks for
    // them), with the system's visual styles.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    tarnwad::win32::UnpackWindow window;
    window.startPath = StartPath();
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
