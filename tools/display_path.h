// How the tool shows the library's paths to its user.
#pragma once

#include <string>

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

}  // namespace tarnwad::cli
