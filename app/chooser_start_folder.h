// Where the "..." button's file chooser opens.
#pragma once

#include <string>

namespace tarnwad {

// The folder of `currentPath` (the path field's text: a host path, or empty)
// when that folder exists, so that a second choice starts where the first one
// was made; `homeFolder` otherwise (no path yet, a folder since removed, a
// path the library cannot read as it is). The folder comes without a
// trailing separator, except for a root ("/", "C:\").
std::string ChooserStartFolder(const std::string& currentPath, const std::string& homeFolder);

}  // namespace tarnwad
