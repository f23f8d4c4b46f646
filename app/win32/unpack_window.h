// UnpackWindow: the tool's dialog on Windows, and the host of the unpack
// command.
#pragma once

#include <cstdint>
#include <string>

#include "app/dialog_host.h"
#include "app/unpack_dialog.h"

#include "vfs/host/windows_api.h"

namespace tarnwad::win32 {

inline constexpr char kBrowseTitle[] = "Select Wad File";
inline constexpr char kWadFilterPattern[] = "*.wad";
inline constexpr char kWadFilterDescription[] = "Tarn Wad File";
inline constexpr char kAllFilesPattern[] = "*.*";
inline constexpr char kAllFilesDescription[] = "All files (*.*)";

// The modal dialog of template IDD_MAIN: the read-only path field, "..." that
// picks the archive, "Unpack" and the status line. Escape and the close box
// end it. Every command runs to its end inside the dialog's message handling:
// while an unpack runs, the dialog repaints only its status line and takes
// no input.
class UnpackWindow : public DialogHost {
  public:
    UnpackWindow() = default;
    UnpackWindow(const UnpackWindow&) = delete;
    UnpackWindow& operator=(const UnpackWindow&) = delete;

    // Runs the dialog, owned by `owner` (may be null), its "Unpack" button
    // driving `dialog`, until the user closes it. Returns what the dialog
    // ended with, or -1 when it could not be created.
    INT_PTR Run(HINSTANCE instance, HWND owner, UnpackDialog& dialog);

    // The dialog's messages, for message-map id 0 only. True when handled,
    // with the message's result in `result`; false leaves the message to the
    // default dialog handling (IDOK, which Enter sends, among them).
    bool HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                       DWORD messageMapId);

    // What the path field holds when the dialog starts (empty: nothing).
    std::string startPath;

    // The path field's text.
    void GetPathText(char* buffer, uint32_t size) override;
    // Shows `text` in the status line and repaints it at once.
    void SetStatusLine(const char* text) override;
    // A message box owned by the dialog, with one OK button.
    void ShowMessage(const char* text, const char* caption) override;
    // The same box with `details` a blank line below `text`.
    void ShowDetailedMessage(const char* text, const char* caption, const char* details) override;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT OnInitDialog();
    LRESULT OnCancel();
    LRESULT OnBrowse();
    LRESULT OnUnpack();
    // Puts `path` into the path field, scrolled to its end (the file name).
    void ShowPath(const char* path);

    // The dialog's window while it exists; null before and after.
    HWND window = nullptr;
    HINSTANCE instance = nullptr;
    UnpackDialog* unpackDialog = nullptr;
};

}  // namespace tarnwad::win32
