// UnpackWindow: the tool's dialog window on GTK 3, and the host of the unpack
// command.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>
#include <string>

#include "app/dialog_host.h"
#include "app/unpack_dialog.h"

namespace tarnwad::gui {

// Ids of the dialog's controls, kept in their widget names and accessible ids
// so that tests and accessibility tools find them.
inline constexpr int kPathControlId = 1000;
inline constexpr int kBrowseControlId = 1001;
inline constexpr int kUnpackControlId = 1002;
inline constexpr int kStatusControlId = 1003;

inline constexpr char kDialogTitle[] = "Tarnhollow - WAD Tool";
inline constexpr char kBrowseTitle[] = "Select Wad File";
inline constexpr char kWadFilterPattern[] = "*.wad";
inline constexpr char kWadFilterDescription[] = "Tarn Wad File";

// One dialog, centred on the screen: the read-only path field, the "..."
// button that picks the archive, the "Unpack" button and the status line, in
// that tab order. There is no default button; Escape and the close box end
// it. While an unpack runs the dialog takes no command, but keeps painting.
class UnpackWindow : public DialogHost {
  public:
    UnpackWindow();
    UnpackWindow(const UnpackWindow&) = delete;
    UnpackWindow& operator=(const UnpackWindow&) = delete;
    ~UnpackWindow() override;

    // Shows the dialog and runs it, its buttons driving `dialog`, until the
    // user closes it; the window is gone when this returns.
    void Run(UnpackDialog& dialog);

    // Fills the path field with `path`, as the file chooser does.
    void SetPath(const std::string& path);

    // The path field's text: the path bytes as the file chooser gave them.
    void GetPathText(char* buffer, uint32_t size) override;
    // Shows `text` in the status line and lets the window repaint.
    void SetStatusLine(const char* text) override;
    // A message box modal to the dialog, with one OK button.
    void ShowMessage(const char* text, const char* caption) override;
    // The same box with `details` as its secondary text (none when empty).
    void ShowDetailedMessage(const char* text, const char* caption, const char* details) override;

  private:
    static void OnBrowseClicked(GtkButton* button, gpointer self);
    static void OnUnpackClicked(GtkButton* button, gpointer self);
    static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean OnDeleteEvent(GtkWidget* widget, GdkEvent* event, gpointer self);

    void Browse();
    void Unpack();
    // While an unpack runs, its buttons are insensitive.
    void BeginBusy();
    void EndBusy();
    // Runs the events that are due (drawing above all) without blocking.
    static void RunPendingEvents();

    GtkWidget* window = nullptr;
    GtkWidget* pathField = nullptr;
    GtkWidget* browseButton = nullptr;
    GtkWidget* unpackButton = nullptr;
    GtkWidget* statusLine = nullptr;

    UnpackDialog* unpackDialog = nullptr;
    // The chosen path as the file system spells it; the field shows it in
    // UTF-8, which a file name need not be.
    std::string path;
    // A command (browse or unpack) runs: no other starts, and the dialog
    // does not close.
    bool commandRunning = false;
    bool busy = false;
    // The widget that had the focus when the dialog became busy.
    GtkWidget* focusBeforeBusy = nullptr;
};

}  // namespace tarnwad::gui
