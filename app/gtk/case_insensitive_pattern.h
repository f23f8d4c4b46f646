// CaseInsensitivePattern: a file-name pattern that ignores letter case.
#pragma once

#include <string>

namespace tarnwad::gui {

// GTK 3 matches file-filter patterns case-sensitively, while the tool's
// filters are meant to match names in any letter case, as the Windows dialog
// does. Turns each ASCII letter outside a bracket expression into a bracket
// expression of both cases ("*.wad" -> "*.[wW][aA][dD]"); everything else,
// bracket expressions included, is copied unchanged.
std::string CaseInsensitivePattern(const std::string& pattern);

}  // namespace tarnwad::gui
