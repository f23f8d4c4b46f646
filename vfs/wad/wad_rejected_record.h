// WadRejectedRecord: an archive record that loading left out of the tree,
// and why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "vfs/core/export.h"

namespace vfs {

enum class WadRejectReason {
    NAME_OUTSIDE_TABLE,   // version 2: the name offset lies outside the name table
    NAME_NOT_TERMINATED,  // no NUL before the end of the bytes read for the name
    EMPTY_COMPONENT,      // empty name, or a leading, trailing or doubled separator
    DOT_COMPONENT,        // a "." or ".." component
    COLON,                // a ":" (a drive or a stream name)
    WILDCARD,             // a "*" or "?"
    CONTROL_BYTE,         // a byte below 0x20
    NAME_TOO_LONG,        // longer than WAD_MAX_PATH_LENGTH bytes
};

// A short plain-words text for the reason, such as "path has a \"..\"
// component".
TARNVFS_API const char* WadRejectReasonText(WadRejectReason reason);

// Why the `length` bytes of `path` (a stored name, "\" or "/" separators, no
// NUL among them) cannot be placed in a tree, or nothing when they can. A
// safe path has no empty, "." or ".." component and no ":", "*", "?" or byte
// below 0x20. Length limits are the loader's business.
TARNVFS_API std::optional<WadRejectReason> CheckWadPath(const char* path, uint32_t length);

struct TARNVFS_API WadRejectedRecord {
    // Largest number of bytes of a raw path kept for the report.
    static constexpr uint32_t MAX_RAW_PATH = 256;

    uint32_t index = 0;   // index in the record table
    std::string rawPath;  // the name as stored, up to its NUL (cut to MAX_RAW_PATH bytes)
    WadRejectReason reason = WadRejectReason::EMPTY_COMPONENT;
};

}  // namespace vfs
