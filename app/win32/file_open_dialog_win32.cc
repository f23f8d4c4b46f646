// FileOpenDialog on Windows: the common open-file dialog.
#include "app/file_open_dialog.h"

#include "vfs/host/windows_api.h"
// After <windows.h>, which it builds on.
#include <commdlg.h>

#include "app/win32/open_file_filter.h"

namespace tarnwad {

namespace win32 {

std::string OpenFileFilterText(const std::vector<FileFilter>& filters) {
    std::string text;
    for (const FileFilter& filter : filters) {
        text += filter.description;
        text += '\0';
        text += filter.pattern;
        text += '\0';
    }
    if (!text.empty()) {
        text += '\0';
    }
    return text;
}

}  // namespace win32

bool FileOpenDialog::Show() {
    std::string filterText = win32::OpenFileFilterText(filters);
    char file[MAX_PATH] = "";

    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = static_cast<HWND>(owner);
    // The first filter (index 0 and 1 alike) is the one selected.
    dialog.lpstrFilter = filterText.empty() ? nullptr : filterText.c_str();
    dialog.lpstrFile = file;
    dialog.nMaxFile = sizeof(file);
    dialog.lpstrInitialDir = initialDirectory.empty() ? nullptr : initialDirectory.c_str();
    // No title: the dialog's own ("Open").
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    // The dialog itself refuses a folder or file that does not exist, and a
    // name typed without an extension is taken as it stands.
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

    fileName.clear();
    if (GetOpenFileNameA(&dialog) == 0) {
        // Cancelled, or the dialog could not be shown (a path longer than the
        // buffer among them).
        return false;
    }
    fileName = file;
    return true;
}

}  // namespace tarnwad
