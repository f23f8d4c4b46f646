// FindData: the record that FindFirst and FindNext fill.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/result.h"
#include "vfs/host/host_limits.h"

namespace vfs {

// Attribute bits that the rest of the system tests: a directory; an entry
// that is neither a directory nor a regular file (a FIFO, a device, a
// socket); a symbolic link, reported with the attributes of what it leads to.
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t FILE_ATTRIBUTE_DEVICE = 0x40;
inline constexpr uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

// One entry found by an enumeration. `path` holds the directory part of the
// pattern followed by the entry's name, and `name` points at that name inside
// `path`. Times are host file times: 100 ns units since 1601-01-01.
struct TARNVFS_API FindData {
    FindData() = default;
    // `name` points into this object's own `path`: a copy would point into
    // the original.
    FindData(const FindData&) = delete;
    FindData& operator=(const FindData&) = delete;

    uint32_t size = 0;
    uint32_t attributes = 0;
    uint64_t lastWriteTime = 0;
    uint64_t lastAccessTime = 0;
    uint64_t creationTime = 0;
    char* name = path;
    char path[HOST_MAX_PATH] = {};
};

// First step of every FindFirst: copies the pattern into `path` and points
// `name` just after its last separator ('\' or '/'), or at the start when it
// has none. Fails, leaving `path` empty, when the pattern does not fit.
TARNVFS_API Result PrepareFindData(FindData* out, const char* pattern);

// Stores an entry's name at `name`, so that `path` reads the pattern's
// directory part followed by the name. Fails, leaving the record unchanged,
// when the name does not fit.
TARNVFS_API Result StoreFoundName(FindData* out, const char* entryName);

}  // namespace vfs
