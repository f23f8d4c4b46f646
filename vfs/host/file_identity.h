// FileIdentity: who a host file is, whatever its names.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"

namespace vfs {

// Equal identities are one file (the same volume, the same file on it).
struct TARNVFS_API FileIdentity {
    uint64_t volume = 0;
    uint64_t index = 0;

    bool operator==(const FileIdentity&) const = default;
};

}  // namespace vfs
