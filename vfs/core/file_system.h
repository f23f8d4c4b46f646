// FileSystem: the one interface over host directories and archive contents.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "vfs/core/export.h"
#include "vfs/core/find_data.h"
#include "vfs/core/result.h"
#include "vfs/core/semaphore.h"
#include "vfs/core/vfs_string.h"
#include "vfs/host/file_identity.h"

namespace vfs {

class StreamRef;
struct WadEntryRecord;
struct WadRejectedRecord;

// A counted file system with a top directory named by its root path. Every
// path given to an operation is relative to that top and is joined to a
// prefix by plain concatenation. A file system runs one enumeration
// (FindFirst, FindNext) at a time, so one thread enumerates it at a time;
// which other operations may run on several threads at once each kind says.
// Open and Close run alone. Concrete file systems add an Open that binds
// them to a place and fills the root path.
class TARNVFS_API FileSystem {
  public:
    FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // Slot 0: destroys the root path and the lock.
    virtual ~FileSystem() = default;
    // Slot 1: opens `path` as a stream and sets it into `out`; fails without
    // touching anything when `out` already holds a stream. `reserved` is 0.
    virtual Result OpenFile(StreamRef& out, const char* path, uint32_t flags,
                            uint32_t reserved) = 0;
    // Slot 2: starts an enumeration of what matches `pattern` and fills `out`
    // with the first entry; abandons any earlier enumeration.
    virtual Result FindFirst(const char* pattern, FindData* out) = 0;
    // Slot 3: the next entry of the active enumeration, into the record given
    // to FindFirst.
    virtual Result FindNext(FindData* out) = 0;
    // Slot 4: root path followed by `relative`.
    virtual Result GetFullPath(VfsString& out, const VfsString& relative);
    // Slot 5: the same into a caller's buffer; -1 (with the cut text left in
    // the buffer) when it does not fit.
    virtual Result GetFullPathBuffer(char* buffer, const char* relative, uint32_t bufferSize);
    // Slot 6: the root path's text, valid until the root path changes.
    virtual const char* GetRootPath();
    // Slots 7 to 10: change the tree.
    virtual Result SetAttributes(const char* path, uint32_t attributes) = 0;
    virtual Result CreateDirectory(const char* path) = 0;
    virtual Result Delete(const char* path) = 0;
    virtual Result Move(const char* from, const char* to) = 0;
    // Slot 11: stacks this file system over `p`.
    virtual void SetParent(FileSystem* p);
    // Slot 12: gives up what the file system holds.
    virtual void Close() = 0;
    // Slot 13: renames the file `from` to `to`, replacing at once a file or
    // a link that `to` names (the link itself, never what it leads to), so
    // that `to` never names a half-written file. Fails on a directory at
    // `to`, and in every file system that cannot do it (the base's answer).
    virtual Result Replace(const char* from, const char* to);
    // Slot 14: true when an enumeration of the directory `directory` (empty
    // for the top, otherwise ending with a separator) gives no two files of
    // one name, so that a caller need not look for repeats. False whenever
    // the file system cannot say (the base's answer) or there is no such
    // directory.
    virtual bool ListsEachFileNameOnce(const char* directory);
    // Slot 15: who the entry at `path` is (a link's own identity, not what
    // it leads to), so that a caller can tell one file from another whatever
    // their names. Fails where there is no such entry, and in every file
    // system that cannot say (the base's answer).
    virtual Result GetFileIdentity(const char* path, FileIdentity* out);
    // Slots 16 to 18 tell about the archive whose contents a file system
    // shows; every other file system fails them (the base's answer).
    // Slot 16: who the archive file is, so that a copy out of it can leave
    // the archive itself alone whatever its name.
    virtual Result GetArchiveIdentity(FileIdentity* out);
    // Slot 17: the archive's records that opening it left out of its tree,
    // with why; null where there is no archive.
    virtual const std::vector<WadRejectedRecord>* GetRejectedRecords();
    // Slot 18: the record of the file `path` names. -1 when there is no such
    // file or its record cannot be read (LastError says which).
    virtual Result ReadRecord(const char* path, WadEntryRecord* out);
    // Slot 19: creates a file without a name, open for reading and writing,
    // in the directory where `path` would be, and sets it into `out`; closed
    // before NameUnnamedFile names it, it is gone. So a file can be written
    // whole before any name leads to it. Where the host has no such files
    // it is made under the name `provisional` in that directory instead
    // (failing when anything has that name). Fails with UNSUPPORTED where
    // the file system cannot (the base's answer).
    virtual Result CreateUnnamedFile(StreamRef& out, const char* path, const char* provisional);
    // Slot 20: gives the file that CreateUnnamedFile made for `path` that
    // name, never replacing anything: fails when anything has the name.
    virtual Result NameUnnamedFile(StreamRef& file, const char* path);

    int32_t AddRef();
    int32_t Release();

    int32_t GetRefCount() const { return refCount.load(); }

    FileSystem* parent = nullptr;
    Semaphore lock;
    std::atomic<int32_t> refCount{0};
    VfsString rootPath;
};

}  // namespace vfs
