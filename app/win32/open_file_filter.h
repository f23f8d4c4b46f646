// The filter text of the common open-file dialog.
#pragma once

#include <map>
#include <string>

namespace tarnwad::win32 {

// The file types in the form the open-file dialog takes them: for each entry,
// in map order, the description, a NUL, the pattern, a NUL; one more NUL
// after the last. Empty (no filter at all) when `filters` is empty.
std::string OpenFileFilterText(const std::map<std::string, std::string>& filters);

}  // namespace tarnwad::win32
