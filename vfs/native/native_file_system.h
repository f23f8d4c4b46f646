// NativeFileSystem: the file system over one directory of the host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "vfs/core/file_system.h"
#include "vfs/core/find_data.h"
#include "vfs/core/result.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/held_directory.h"
#include "vfs/host/host_find.h"
#include "vfs/host/tree_watch.h"

namespace vfs {

// Its root path is an absolute host directory ending with a separator; every
// operation joins its relative path to the root path by plain concatenation
// and makes one host call. A joined or resolved path too long for a host path
// buffer makes the operation fail; it is never cut. One enumeration is active
// at a time, so one object serves one thread at a time.
//
// Opened with OpenHeld instead, it holds its directory open and resolves
// every relative path beneath it, component by component, never through a
// symbolic link (or reparse point) and never above it ("." and ".."
// components fail), whatever other processes do to the tree meanwhile: a
// link where a directory or the file itself should be makes the operation
// fail (Delete, Move and Replace act on such a link itself). Names must be
// ones the host takes literally (host_names.h). That is how a copy writes
// only inside its output directory and a reader reads only inside its tree.
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
    // Binds the file system to the directory at `path` (resolved with
    // ResolvePath; links on the way are followed: this is the place the
    // caller chose) and holds it. On failure the file system is left as it
    // was.
    Result OpenHeld(const char* path);
    // Binds the file system to the directory `relative` beneath the one that
    // `base` holds, reached without a link (empty: the same directory,
    // whatever its path now leads to), and holds it. Fails when `base`
    // holds no directory.
    Result OpenHeld(const NativeFileSystem& base, const char* relative);

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
    // Held mode only: a file without a name (or with the provisional one) in
    // the located directory of `path` (once its file system says it cannot,
    // this object no longer tries), and its name, given in that same
    // directory.
    Result CreateUnnamedFile(StreamRef& out, const char* path, const char* provisional) override;
    Result NameUnnamedFile(StreamRef& file, const char* path) override;
    // Holds nothing but its enumeration, which FindClose ends.
    void Close() override {}
    // Who the entry `path` is (a link's own identity).
    Result GetFileIdentity(const char* path, FileIdentity* out) override;
    // Slot 16: ends the enumeration in progress, if any.
    virtual void FindClose();

  private:
    // Held mode: the held directory in which `path` names its last
    // component, and that component in `leaf`. Fails when a directory on
    // the way is missing or is not a real directory, or `path` has no last
    // component. `afresh` resolves the directory again from the root unless
    // the directory last located has the same path and cannot have moved
    // since (see host::TreeWatch); the other operations reuse the directory
    // last located when it has the same path. OpenFile, CreateUnnamedFile
    // and FindFirst, which begin what a caller does with a name (write a
    // file and put it in place; look and then create), locate afresh, so
    // that a directory moved or replaced meanwhile is noticed by the next
    // file, while one file's steps all act in one directory.
    Result Locate(const char* path, host::HeldDirectory* directory, std::string* leaf,
                  bool afresh = false);
    // Watches every directory on the way from the root to `relative` and
    // itself, top down, unless watched since the watch's count was
    // `changes`. False when one cannot be watched or reached.
    bool WatchWayTo(const std::string& relative, uint64_t changes);
    // Binds the file system to the held `directory` whose path is `path`.
    void Hold(host::HeldDirectory directory, const char* path);
    // Held mode's Move and Replace.
    Result HeldRename(const char* from, const char* to, bool replace);

    // Root path + relative path, resolved, into `buffer` of HOST_MAX_PATH
    // bytes; fails when the path is null or the result does not fit.
    Result ResolveRelative(char* buffer, const char* path);
    // Copies a host entry into a FindData record prepared by FindFirst.
    static Result StoreEntry(const host::FoundEntry& entry, FindData* out);

    host::Finder finder;
    // Held mode: the directory held, and the directory most recently
    // located beneath it.
    host::HeldDirectory root;
    std::string locatedPath;
    host::HeldDirectory located;
    // Where held directories can move: the watch on the directories
    // located (made at the first locate afresh), the watch's count of
    // changes when `located` was resolved, whether it and every directory
    // above it are watched, and the paths watched (with their watch
    // numbers) since the count was `watchedAt`.
    std::unique_ptr<host::TreeWatch> watch;
    bool watchUnavailable = false;
    uint64_t locatedChanges = 0;
    bool locatedWatched = false;
    uint64_t watchedAt = 0;
    std::unordered_map<std::string, int64_t> watchedPaths;
    bool unnamedUnsupported = false;
};

}  // namespace vfs
