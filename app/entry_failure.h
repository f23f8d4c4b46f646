// How every front end (the dialog, the command-line tool, the mount) words
// what became of an archive entry that did not open or read, so that each
// gives the same verdict with the same reason for the same entry.
#pragma once

#include <cstdint>
#include <string>

#include "vfs/core/last_error.h"

namespace tarnwad {

// The reason the library gave where the entry failed (vfs::LastError()
// right after the failed call), as one clause that follows the entry's
// name: "refused by the archive", "does not decode: the LZ data ends early,
// before its stop command". A failure the library gave no words for
// "cannot be opened".
std::string EntryFailureText(const vfs::ErrorReason& reason);

// An entry that opened but gave fewer bytes than its stream's size: the
// counts, and the reason the library gave for the short read if any.
std::string ShortReadText(uint64_t read, uint64_t size, const vfs::ErrorReason& reason);

}  // namespace tarnwad
