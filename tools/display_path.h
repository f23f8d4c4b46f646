// How the tool shows the library's paths to its user.
#pragma once

#include <string>

#include "tools/text_format.h"
#include "vfs/host/host_path.h"

namespace tarnwad::cli {

// The library separates path components with "\"; on hosts that do not
// read "\" as a separator, show them with "/".
inline std::string DisplayPath(std::string path) {
    if (!vfs::host::HostReadsBackslashAsSeparator()) {
        for (char& c : path) {
            if (c == '\\') {
                c = '/';
            }
        }
    }
    return path;
}

// A library path as a terminal may show it: DisplayPath, with whatever in
// the name could drive the terminal escaped.
inline std::string ShownPath(const std::string& path) {
    return PrintableText(DisplayPath(path));
}

}  // namespace tarnwad::cli
