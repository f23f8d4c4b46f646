// The filter text of the common open-file dialog.
#pragma once

#include <string>
#include <vector>

#include "app/file_open_dialog.h"

namespace tarnwad::win32 {

// The file types in the form the open-file dialog takes them: for each one,
// in order, the description, a NUL, the pattern, a NUL; one more NUL after
// the last. Empty (no filter at all) when `filters` is empty.
std::string OpenFileFilterText(const std::vector<FileFilter>& filters);

}  // namespace tarnwad::win32
