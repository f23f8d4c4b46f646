// tarnwad-gui: the desktop dialog that unpacks Tarnhollow WAD archives.
#include <gtk/gtk.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/absolute_path.h"
#include "app/gtk/unpack_window.h"
#include "app/unpack_dialog.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/standard_streams.h"

namespace {

// The archive named on the command line (the first argument; any others are
// ignored), made absolute against the current directory. Empty without one.
std::string StartPath(int argc, char** argv) {
    return argc < 2 ? std::string() : tarnwad::AbsolutePath(argv[1]);
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything opens a file: none may take the place of a standard
    // stream the dialog was started without.
    vfs::host::OpenMissingStandardStreams();
    vfs::host::IgnoreFileSizeLimitSignal();
    // GTK is given no arguments: the only one the tool takes is the archive,
    // whatever it is named.
    g_set_prgname("tarnwad-gui");
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "tarnwad-gui: cannot open the display\n");
        return 1;
    }
    g_set_application_name(tarnwad::gui::kDialogTitle);

    tarnwad::gui::UnpackWindow window;
    if (std::string path = StartPath(argc, argv); !path.empty()) {
        window.SetPath(path);
    }
    {
        // Both handles empty; destroying the dialog releases `destination`,
        // then `source`.
        tarnwad::UnpackDialog dialog(window);
        window.Run(dialog);
    }
    return 0;
}
