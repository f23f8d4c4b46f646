// LastError: why the calling thread's last failed library operation failed.
#pragma once

#include <cstdint>
#include <string>

#include "vfs/core/export.h"

namespace vfs {

// The kind of a failure, for callers that act on it (an entry the archive
// refuses is skipped, others fail). New kinds are added at the end.
enum class ErrorCode : uint8_t {
    NONE = 0,
    NOT_FOUND,        // no entry of that path
    REFUSED,          // the archive marks the entry as not to be opened
    IS_DIRECTORY,     // the path names a directory of the archive, found before any file of it
    HASH_MISMATCH,    // the record's path hash is not the hash of its path
    HIDDEN,           // an earlier record of the same path is found instead
    OUTSIDE_FILE,     // the entry's data lies outside the archive file
    NOT_DECODABLE,    // the coded data does not decode to the entry's size
    TOO_LARGE,        // too large to hold in memory
    HOST_ERROR,       // the host failed a call; the text holds its reason
    PATH_TOO_LONG,    // a path longer than the host takes
    NOT_AN_ARCHIVE,   // the file is too short for a header, or lacks its magic
    UNKNOWN_VERSION,  // the header's format version is not one that is read
    DAMAGED,          // a table or name the header points at lies outside the file
    ACCESS_DENIED,    // the host refused access to a file or directory
    UNSUPPORTED,      // the file system does not do this (an archive is read-only)
};

// A failure's kind and its reason in plain words, one clause that reads
// after the name of what failed: "does not decode: the LZ data ends before
// its stop command", "its data (bytes 501 to 1501) lies outside the 503-byte
// file".
struct TARNVFS_API ErrorReason {
    ErrorCode code = ErrorCode::NONE;
    std::string text;
};

// Library results stay 0 and -1; as errno does, this per-thread reason tells
// why, for a person. It is set at the line where an operation fails and
// kept until the next failure or ClearLastError, so it is only meaningful
// right after a call that failed. Operations that report reasons clear it
// when they start.
TARNVFS_API void SetLastError(ErrorCode code, std::string text);
TARNVFS_API const ErrorReason& LastError();
TARNVFS_API void ClearLastError();

}  // namespace vfs
