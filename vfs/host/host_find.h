// Enumeration of the entries of a host directory that match a pattern.
#pragma once

#include <cstdint>
#include <string>

#include "vfs/host/host_limits.h"

namespace vfs::host {

class HeldDirectory;

// One entry found. Times are counts of 100 ns since 1601-01-01 (UTC).
struct FoundEntry {
    uint32_t attributes = 0;
    uint64_t size = 0;
    uint64_t creationTime = 0;
    uint64_t lastAccessTime = 0;
    uint64_t lastWriteTime = 0;
    char name[HOST_MAX_PATH] = {};
};

// An enumeration in progress. The pattern is a library host path whose last
// component may hold wildcards: '*' matches any run of characters, '?' any
// one character, and a trailing ".*" also matches nothing at all, so that
// "*.*" matches every name, those without a dot included. Letters match as
// the host's own lookups do: exactly on POSIX hosts, regardless of case on
// Windows. Entries come in the host's order, "." and ".." among them; none is
// filtered out. A pattern without wildcards names one entry, which is looked
// up directly rather than found in a listing of its directory.
//
// A symbolic link is reported with ATTRIBUTE_REPARSE_POINT besides the
// attributes of what it leads to; an entry that is neither a directory nor a
// regular file (a FIFO, a device, a socket) with ATTRIBUTE_DEVICE.
class Finder {
  public:
    Finder() = default;
    Finder(const Finder&) = delete;
    Finder& operator=(const Finder&) = delete;
    ~Finder();

    // Ends any enumeration in progress and starts one; false (with nothing
    // left open) when the directory cannot be read or nothing matches.
    bool First(const char* pattern, FoundEntry* out);
    // The same in the held `directory`, with a `pattern` of one component:
    // the directory read is that very directory, whatever its path now
    // leads to.
    bool First(const HeldDirectory& directory, const char* pattern, FoundEntry* out);
    // The next matching entry; false when none is left or none is active.
    bool Next(FoundEntry* out);
    bool IsOpen() const { return directory != nullptr; }
    void Close();

  private:
    void* directory = nullptr;
    std::string namePattern;
};

}  // namespace vfs::host
