// NativeFileSystem: the file system over one directory of the host.
#pragma once

#include <cstdint>

#include "vfs/core/file_system.h"
#include "vfs/core/find_data.h"
#include "vfs/core/result.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/host_find.h"

namespace vfs {

// Its root path is an absolute host directory ending with a separator; every
// operation joins its relative path to the root path by plain concatenation
// and makes one host call. A joined or resolved path too long for a host path
// buffer makes the operation fail; it is never cut. One enumeration is active
// at a time, so one object serves one thread at a time.
class NativeFileSystem : public FileSystem {
  public:
    NativeFileSystem() = default;
    // Ends a pending enumeration.
    ~NativeFileSystem() override;

    // Binds the file system to the host path `path` (resolved with
    // ResolvePath), which must exist; a directory is meant, but a file is not
    // refused. A '\' is appended unless the path ends with a separator. On
    // failure the root path is left as it was.
    Result Open(const char* path);

    // Opens a Win32FileStream, or with OPEN_BUFFERED an MmioStream (which
    // refuses OPEN_WRITE), and sets it into `out`. Fails when `out` already
    // holds a stream.
    Result OpenFile(StreamRef& out, const char* path, uint32_t flags, uint32_t reserved) override;
    // Host enumeration: entries in the host's order, "." and ".." included;
    // a caller walking a tree skips those itself. An entry whose name does
    // not fit in `out` fails the call that found it.
    Result FindFirst(const char* pattern, FindData* out) override;
    Result FindNext(FindData* out) override;
    Result SetAttributes(const char* path, uint32_t attributes) override;
    // Creates the last component only; fails when it already exists.
    Result CreateDirectory(const char* path) override;
    // Deletes a file or an empty directory.
    Result Delete(const char* path) override;
    // Fails when something already exists at `to`.
    Result Move(const char* from, const char* to) override;
    // A rename that replaces a file or link at `to` at once.
    Result Replace(const char* from, const char* to) override;
    // Holds nothing but its enumeration, which FindClose ends.
    void Close() override {}
    // Slot 14: ends the enumeration in progress, if any.
    virtual void FindClose();

  private:
    // Root path + relative path, resolved, into `buffer` of HOST_MAX_PATH
    // bytes; fails when the path is null or the result does not fit.
    Result ResolveRelative(char* buffer, const char* path);
    // Copies a host entry into a FindData record prepared by FindFirst.
    static Result StoreEntry(const host::FoundEntry& entry, FindData* out);

    host::Finder finder;
};

}  // namespace vfs
