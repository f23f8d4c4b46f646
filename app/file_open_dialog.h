// FileOpenDialog: one run of the platform's open-file dialog.
#pragma once

#include <string>
#include <vector>

namespace tarnwad {

// The platform's handle of a top-level window: a GtkWindow* with GTK, an HWND
// on Windows.
using NativeWindow = void*;

// One file type the open-file dialog offers: its name and the pattern of the
// names it shows, e.g. "Tarn Wad File" and "*.wad". A pattern matches names
// in any letter case.
struct FileFilter {
    std::string pattern;
    std::string description;
};

// Built on the stack for one choice of a file: set the members, call Show(),
// read `fileName`. Each platform supplies Show() in its own source file.
class FileOpenDialog {
  public:
    virtual ~FileOpenDialog() = default;

    // Runs the open-file dialog, modal to `owner`, titled `title`, starting
    // in `initialDirectory` (the platform's choice when empty) and offering
    // `filters` in their order, the first one selected. Only an existing file
    // is accepted. Empties `fileName` first; returns true when the user chose
    // a file, whose full path `fileName` then holds, and false when the user
    // cancelled or the dialog could not be shown.
    bool Show();

    std::string initialDirectory;
    std::string title;
    std::string fileName;
    // In the order the dialog lists them, not sorted: the archives' own
    // type comes first and "All files" after it.
    std::vector<FileFilter> filters;
    NativeWindow owner = nullptr;
};

}  // namespace tarnwad
