// CopyEntry: one file of a tree copy, written so that the entry's name only
// ever holds the entry's whole bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/copy_report.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/host/file_identity.h"

namespace tarnwad {

class CloseQueue;

// Size of every read during a file copy, and of a copy buffer.
inline constexpr int32_t kCopyBlockSize = 102400;

// Open flags of the tree copy: read an existing file (others may read it too);
// create a file for writing, replacing an existing one.
inline constexpr uint32_t kSourceOpenFlags = 0x80000001u;
inline constexpr uint32_t kDestinationOpenFlags = 0xC0000010u;

struct EntryCopyResult {
    bool copied = false;
    CopyFailureKind kind = CopyFailureKind::kOpenSource;
    std::string detail;
    // Both ends were opened: the copy got as far as showing the entry's name.
    bool started = false;
    // An interrupt stopped the copy before the file was whole; nothing of
    // it was kept.
    bool interrupted = false;
    // Something of the entry's name was there and was kept as it is.
    bool kept = false;
    uint64_t bytes = 0;
};

// Copies the file `path` of `source` to the same relative path of
// `destination`. The bytes go to a new temporary file beside it, which takes
// the entry's name only once every byte is written; on any failure the
// temporary file is removed and whatever had the name before is left as it
// was. A regular file or a symbolic link of that name is replaced (the link
// itself, never what it leads to); a directory, FIFO, device or socket in its
// place is a failure, left untouched. The copy is checked against the size
// of the stream that the source opened.
//
// `buffer` (kCopyBlockSize bytes, or null when none could be had) carries
// the bytes of entries that are not already whole in memory. An interrupt
// (vfs::host::InterruptRequested) stops the copy at the next block. `onStart` runs
// once both ends are open, before the first byte moves. `destination` must
// not be used by another thread meanwhile (it may enumerate); `source` may be
// shared when its OpenFile may run on several threads at once.
//
// What is already at an entry's name and must stay.
struct EntryCopyRules {
    // A file or link already at the entry's name is kept: the entry is not
    // written (`kept`), and nothing is replaced.
    bool keepExisting = false;
    // The files that must never be replaced whatever their names (the
    // archives being read, the base and every layer: one may lie in the
    // output directory under an entry's name, or be linked there).
    std::vector<vfs::FileIdentity> neverReplace;
};

// A read-only file at the entry's name is never replaced either: the host's
// own open for writing would refuse it, and users mark an edited file
// read-only to keep it. Both fail the entry, saying why, and stay as they
// are.
//
// With `closer`, a file that takes its name while still open (see
// TemporaryFile::CreateUnnamedWherePossible) is closed there, off the
// calling thread, once in place.
EntryCopyResult CopyEntry(vfs::FileSystemRef& source, vfs::FileSystemRef& destination,
                          const std::string& path, uint8_t* buffer,
                          const std::function<void()>& onStart = {},
                          const EntryCopyRules& rules = {}, CloseQueue* closer = nullptr);

}  // namespace tarnwad
