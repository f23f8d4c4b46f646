// How the tool shows the library's paths to its user.
#pragma once

#include <string>

#include "tools/text_format.h"

namespace tarnwad::cli {

// The library separates path components with "\"; on hosts whose own
// separator is "/", show them that way.
inline std::string DisplayPath(std::string path) {
#if !defined(_WIN32)
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
#endif
    return path;
}

// A library path as a terminal may show it: DisplayPath, with whatever in
// the name could drive the terminal escaped.
inline std::string ShownPath(const std::string& path) {
    return PrintableText(DisplayPath(path));
}

}  // namespace tarnwad::cli
