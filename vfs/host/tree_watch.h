// TreeWatch: notice that a held directory has been moved or removed.
#pragma once

#include <cstdint>
#include <memory>

namespace vfs::host {

class HeldDirectory;

// Watches held directories for another process moving or removing one of
// them, so that a path resolved to a held directory may be used again
// without resolving it afresh while nothing watched has changed. On POSIX
// (inotify) a directory held as a descriptor follows wherever it is moved;
// on Windows held directories cannot move, and there is nothing to watch
// (Start gives null). A watch serves one thread at a time.
class TreeWatch {
  public:
    virtual ~TreeWatch() = default;

    // A new watch, or null where the host has none or no more can be made.
    static std::unique_ptr<TreeWatch> Start();

    // Watches the directory `directory` holds (its own self, wherever it is
    // reached from), and gives the watch's number, the same for every Add
    // of one directory. -1 when the host cannot (too many watches): then
    // nothing is known about it.
    virtual int64_t Add(const HeldDirectory& directory) = 0;
    // A count that grows whenever a watched directory has been moved or
    // removed, or the host lost track of what happened: asked of the host
    // on each call (one system call), so that a move done before the call
    // is counted.
    virtual uint64_t Changes() = 0;
};

}  // namespace vfs::host
