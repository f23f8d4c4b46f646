// FileOpenDialog on GTK 3: the desktop's own file chooser (a portal where the
// desktop provides one, GTK's file chooser dialog otherwise).
#include <gtk/gtk.h>

#include "app/file_open_dialog.h"
#include "app/gtk/case_insensitive_pattern.h"

namespace tarnwad {

namespace {

bool IsExistingFile(const char* path) {
    return path != nullptr && g_file_test(path, G_FILE_TEST_IS_REGULAR);
}

}  // namespace

bool FileOpenDialog::Show() {
    GtkWindow* ownerWindow = owner != nullptr ? GTK_WINDOW(owner) : nullptr;
    GtkFileChooserNative* native = gtk_file_chooser_native_new(
        title.c_str(), ownerWindow, GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(native);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native), TRUE);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    gtk_file_chooser_set_select_multiple(chooser, FALSE);
    if (!initialDirectory.empty()) {
        gtk_file_chooser_set_current_folder(chooser, initialDirectory.c_str());
    }
    // The first filter added is the one selected.
    for (const FileFilter& offered : filters) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, offered.description.c_str());
        gtk_file_filter_add_pattern(filter, gui::CaseInsensitivePattern(offered.pattern).c_str());
        gtk_file_chooser_add_filter(chooser, filter);
    }

    fileName.clear();
    bool chosen = false;
    // The chooser accepts only existing files when opening; should it ever
    // hand back a name that is not an existing file, it is asked again.
    while (gtk_native_dialog_run(GTK_NATIVE_DIALOG(native)) == GTK_RESPONSE_ACCEPT) {
        gchar* path = gtk_file_chooser_get_filename(chooser);
        bool exists = IsExistingFile(path);
        if (exists) {
            fileName = path;
            chosen = true;
        }
        g_free(path);
        if (exists) {
            break;
        }
    }
    g_object_unref(native);
    return chosen;
}

}  // namespace tarnwad
