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
    // A full path longer than MAX_PATH is kept whole, for the unpack to
    // refuse with its reason: cut, or left relative, it would name another
    // file.
    std::string full(MAX_PATH, '\0');
    DWORD length =
        GetFullPathNameA(__argv[1], static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
        full.assign(length, '\0');
        length = GetFullPathNameA(__argv[1], length, full.data(), nullptr);
    }
    if (length == 0 || length >= full.size()) {
        return __argv[1];
    }
    full.resize(length);
    return full;
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
