#include "app/gtk/unpack_window.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "app/chooser_start_folder.h"
#include "app/file_open_dialog.h"
#include "vfs/host/host_path.h"

namespace tarnwad::gui {

namespace {

// The most events run in one go while an unpack paints its status, so that a
// source that is always ready cannot hold the unpack up.
constexpr int kMaxPendingEventsPerRun = 200;

// Names a control for tests and accessibility tools: its widget name and
// accessible id (e.g. "IDC_PATH_1000"), and its accessible name.
void NameControl(GtkWidget* widget, const char* symbol, int id, const char* accessibleName) {
    std::string name = std::string(symbol) + "_" + std::to_string(id);
    gtk_widget_set_name(widget, name.c_str());
    AtkObject* accessible = gtk_widget_get_accessible(widget);
    atk_object_set_accessible_id(accessible, name.c_str());
    atk_object_set_name(accessible, accessibleName);
}

}  // namespace

UnpackWindow::UnpackWindow() {
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), kDialogTitle);
    gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_modal(GTK_WINDOW(window), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    atk_object_set_role(gtk_widget_get_accessible(window), ATK_ROLE_DIALOG);

    // The path field: read-only, but it takes the focus, so that its text can
    // be selected and copied; a long path scrolls.
    pathField = gtk_entry_new();
    gtk_editable_set_editable(GTK_EDITABLE(pathField), FALSE);
    gtk_entry_set_width_chars(GTK_ENTRY(pathField), 44);
    gtk_widget_set_hexpand(pathField, TRUE);
    NameControl(pathField, "IDC_PATH", kPathControlId, "WAD file path");
    // And it looks read-only: no caret to type at, and the window's own
    // background instead of the white of a field that takes typing.
    GtkCssProvider* readOnlyLook = gtk_css_provider_new();
    gtk_css_provider_load_from_data(readOnlyLook,
                                    "entry { caret-color: transparent;"
                                    " background-color: transparent; background-image: none; }",
                                    -1, nullptr);
    gtk_style_context_add_provider(gtk_widget_get_style_context(pathField),
                                   GTK_STYLE_PROVIDER(readOnlyLook),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(readOnlyLook);

    browseButton = gtk_button_new_with_label("...");
    NameControl(browseButton, "IDC_BROWSE", kBrowseControlId, "Choose WAD file");

    unpackButton = gtk_button_new_with_label("Unpack");
    gtk_widget_set_size_request(unpackButton, 96, -1);
    gtk_widget_set_halign(unpackButton, GTK_ALIGN_END);
    NameControl(unpackButton, "IDC_UNPACK", kUnpackControlId, "Unpack");

    // The status line takes the width the rows above give it and shortens a
    // long path in the middle, so that the window never grows with it.
    statusLine = gtk_label_new("");
    gtk_label_set_xalign(GTK_LABEL(statusLine), 0.0f);
    gtk_label_set_ellipsize(GTK_LABEL(statusLine), PANGO_ELLIPSIZE_MIDDLE);
    gtk_label_set_max_width_chars(GTK_LABEL(statusLine), 1);
    gtk_label_set_single_line_mode(GTK_LABEL(statusLine), TRUE);
    gtk_widget_set_hexpand(statusLine, TRUE);
    gtk_widget_set_margin_start(statusLine, 40);
    gtk_widget_set_margin_end(statusLine, 40);
    NameControl(statusLine, "IDC_STATUS", kStatusControlId, "Status");

    // Rows in tab order: path field and "...", status line, "Unpack".
    GtkWidget* pathRow = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_pack_start(GTK_BOX(pathRow), pathField, TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(pathRow), browseButton, FALSE, FALSE, 0);

    GtkWidget* rows = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_container_set_border_width(GTK_CONTAINER(rows), 12);
    gtk_box_pack_start(GTK_BOX(rows), pathRow, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(rows), statusLine, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(rows), unpackButton, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), rows);

    g_signal_connect(browseButton, "clicked", G_CALLBACK(OnBrowseClicked), this);
    g_signal_connect(unpackButton, "clicked", G_CALLBACK(OnUnpackClicked), this);
    g_signal_connect(window, "key-press-event", G_CALLBACK(OnKeyPress), this);
    g_signal_connect(window, "delete-event", G_CALLBACK(OnDeleteEvent), this);
}

UnpackWindow::~UnpackWindow() {
    if (window != nullptr) {
        gtk_widget_destroy(window);
    }
}

void UnpackWindow::Run(UnpackDialog& dialog) {
    unpackDialog = &dialog;
    gtk_widget_show_all(window);
    gtk_main();
    unpackDialog = nullptr;
    gtk_widget_destroy(window);
    window = nullptr;
}

void UnpackWindow::GetPathText(char* buffer, uint32_t size) {
    if (size == 0) {
        return;
    }
    size_t count = path.size() < size - 1 ? path.size() : size - 1;
    std::memcpy(buffer, path.data(), count);
    buffer[count] = '\0';
}

void UnpackWindow::SetStatusLine(const char* text) {
    // The library separates path components with "\"; shown as this host
    // writes paths.
    std::string status = text;
    if (!vfs::host::HostReadsBackslashAsSeparator()) {
        std::replace(status.begin(), status.end(), '\\', '/');
    }
    // Entry names come from the archive and need not be UTF-8.
    gchar* shown = g_utf8_make_valid(status.c_str(), -1);
    gtk_label_set_text(GTK_LABEL(statusLine), shown);
    g_free(shown);
    RunPendingEvents();
}

void UnpackWindow::ShowMessage(const char* text, const char* caption) {
    ShowDetailedMessage(text, caption, "");
}

void UnpackWindow::ShowDetailedMessage(const char* text, const char* caption, const char* details) {
    // The work is done; the box is modal and takes the input from here on.
    EndBusy();
    GtkWidget* box = gtk_message_dialog_new(
        GTK_WINDOW(window),
        static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", text);
    gtk_window_set_title(GTK_WINDOW(box), caption);
    if (details != nullptr && details[0] != '\0') {
        // Paths and entry names need not be UTF-8: shown as the path field
        // shows a file name, with a replacement character for what is not.
        gchar* shown = g_filename_display_name(details);
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(box), "%s", shown);
        g_free(shown);
    }
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

void UnpackWindow::OnBrowseClicked(GtkButton*, gpointer self) {
    static_cast<UnpackWindow*>(self)->Browse();
}

void UnpackWindow::OnUnpackClicked(GtkButton*, gpointer self) {
    static_cast<UnpackWindow*>(self)->Unpack();
}

gboolean UnpackWindow::OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer) {
    // Escape closes the dialog, whichever control has the focus.
    guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
    if (event->keyval == GDK_KEY_Escape && modifiers == 0) {
        gtk_window_close(GTK_WINDOW(widget));
        return TRUE;
    }
    return FALSE;
}

gboolean UnpackWindow::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
    // The close box and Escape end the dialog, except while a command runs:
    // it runs to its end first.
    if (!static_cast<UnpackWindow*>(self)->commandRunning) {
        gtk_main_quit();
    }
    return TRUE;
}

void UnpackWindow::Browse() {
    if (commandRunning) {
        return;
    }
    commandRunning = true;
    FileOpenDialog chooser;
    chooser.owner = window;
    chooser.title = kBrowseTitle;
    chooser.initialDirectory = ChooserStartFolder(path, g_get_home_dir());
    chooser.filters.push_back({kWadFilterPattern, kWadFilterDescription});
    if (chooser.Show()) {
        SetPath(chooser.fileName);
    }
    commandRunning = false;
}

void UnpackWindow::Unpack() {
    if (commandRunning || unpackDialog == nullptr) {
        return;
    }
    commandRunning = true;
    BeginBusy();
    unpackDialog->OnUnpack();
    EndBusy();
    commandRunning = false;
}

void UnpackWindow::SetPath(const std::string& chosen) {
    path = chosen;
    gchar* shown = g_filename_display_name(path.c_str());
    gtk_entry_set_text(GTK_ENTRY(pathField), shown);
    g_free(shown);
    // Show the end of a long path: the file name.
    gtk_editable_set_position(GTK_EDITABLE(pathField), -1);
}

void UnpackWindow::BeginBusy() {
    busy = true;
    focusBeforeBusy = gtk_window_get_focus(GTK_WINDOW(window));
    gtk_widget_set_sensitive(browseButton, FALSE);
    gtk_widget_set_sensitive(unpackButton, FALSE);
}

void UnpackWindow::EndBusy() {
    if (!busy) {
        return;
    }
    busy = false;
    gtk_widget_set_sensitive(browseButton, TRUE);
    gtk_widget_set_sensitive(unpackButton, TRUE);
    if (focusBeforeBusy != nullptr) {
        gtk_widget_grab_focus(focusBeforeBusy);
        focusBeforeBusy = nullptr;
    }
}

void UnpackWindow::RunPendingEvents() {
    for (int i = 0; i < kMaxPendingEventsPerRun && gtk_events_pending(); ++i) {
        gtk_main_iteration_do(FALSE);
    }
}

}  // namespace tarnwad::gui
