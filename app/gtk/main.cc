// tarnwad-gui: the desktop dialog that unpacks Tarnhollow WAD archives.
#include <gtk/gtk.h>

#include <cstdio>

#include "app/gtk/unpack_window.h"
#include "app/unpack_dialog.h"
#include "vfs/host/process_signals.h"
#include "vfs/host/standard_streams.h"

int main() {
    // Before anything opens a file: none may take the place of a standard
    // stream the dialog was started without.
    vfs::host::OpenMissingStandardStreams();
    vfs::host::IgnoreFileSizeLimitSignal();
    // The tool takes no command-line arguments, so GTK is given none either.
    g_set_prgname("tarnwad-gui");
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fprintf(stderr, "tarnwad-gui: cannot open the display\n");
        return 1;
    }
    g_set_application_name(tarnwad::gui::kDialogTitle);

    tarnwad::gui::UnpackWindow window;
    {
        // Both handles empty; destroying the dialog releases `destination`,
        // then `source`.
        tarnwad::UnpackDialog dialog(window);
        window.Run(dialog);
    }
    return 0;
}
