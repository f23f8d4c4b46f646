// Shared by the POSIX host services only: host attribute bits from a file's
// mode.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>

#include "vfs/host/host_directory.h"

namespace vfs::host {

// A directory carries the directory bit, anything that is neither a directory
// nor a regular file (a FIFO, a device, a socket) the device bit, an entry
// without any write permission the read-only bit, and anything else the
// normal bit alone.
inline uint32_t AttributesFromMode(mode_t mode) {
    uint32_t attributes = 0;
    if (S_ISDIR(mode)) {
        attributes |= ATTRIBUTE_DIRECTORY;
    } else if (!S_ISREG(mode)) {
        attributes |= ATTRIBUTE_DEVICE;
    }
    if ((mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        attributes |= ATTRIBUTE_READONLY;
    }
    return attributes == 0 ? ATTRIBUTE_NORMAL : attributes;
}

// The attributes of a symbolic link whose target has the mode `target`: the
// target's attributes with the reparse-point bit, as Windows reports a link.
// A link that leads nowhere has the reparse-point bit alone.
inline uint32_t LinkAttributes(mode_t target) {
    return (AttributesFromMode(target) & ~ATTRIBUTE_NORMAL) | ATTRIBUTE_REPARSE_POINT;
}

// `mode` with the read-only bit of `attributes` applied: set, every write
// permission goes; clear, the owner's comes back.
inline mode_t ModeWithReadOnly(mode_t mode, uint32_t attributes) {
    mode &= 07777;
    if ((attributes & ATTRIBUTE_READONLY) != 0) {
        return mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    }
    return mode | S_IWUSR;
}

// The attributes of `name` in the directory `directoryFd` (or AT_FDCWD),
// with `*status` filled from the entry, or from its target for a link that
// leads somewhere. INVALID_ATTRIBUTES when nothing has that name.
inline uint32_t EntryAttributes(int directoryFd, const char* name, struct stat* status) {
    if (fstatat(directoryFd, name, status, AT_SYMLINK_NOFOLLOW) != 0) {
        return INVALID_ATTRIBUTES;
    }
    if (!S_ISLNK(status->st_mode)) {
        return AttributesFromMode(status->st_mode);
    }
    struct stat target;
    if (fstatat(directoryFd, name, &target, 0) != 0) {
        return ATTRIBUTE_REPARSE_POINT;
    }
    *status = target;
    return LinkAttributes(target.st_mode);
}

}  // namespace vfs::host
