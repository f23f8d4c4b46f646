// Which names a tree copy takes from its source.
#pragma once

#include <cstring>

#include "vfs/core/find_data.h"
#include "vfs/core/path_resolution.h"

namespace tarnwad {

inline bool IsDirectory(const vfs::FindData& found) {
    return (found.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The host's own entries for a directory and its parent: skipped without a
// word.
inline bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// A name that can safely become one component of a host path: not empty and
// without a separator.
inline bool IsSafeComponent(const char* name) {
    if (name[0] == '\0') {
        return false;
    }
    for (const char* p = name; *p != '\0'; ++p) {
        if (vfs::IsPathSeparator(*p)) {
            return false;
        }
    }
    return true;
}

}  // namespace tarnwad
