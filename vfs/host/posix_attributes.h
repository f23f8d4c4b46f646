// Shared by the POSIX host services only: host attribute bits from a file's
// mode.
#pragma once

#include <sys/stat.h>

#include <cstdint>

#include "vfs/host/host_directory.h"

namespace vfs::host {

// A directory carries the directory bit, an entry without any write
// permission the read-only bit, and anything else the normal bit alone.
inline uint32_t AttributesFromMode(mode_t mode) {
    uint32_t attributes = 0;
    if (S_ISDIR(mode)) {
        attributes |= ATTRIBUTE_DIRECTORY;
    }
    if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        attributes |= ATTRIBUTE_READONLY;
    }
    return attributes == 0 ? ATTRIBUTE_NORMAL : attributes;
}

}  // namespace vfs::host
