// FileSystemRef: the counted handle through which callers hold a file system.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/file_system.h"
#include "vfs/core/find_data.h"
#include "vfs/core/last_error.h"
#include "vfs/core/result.h"
#include "vfs/core/stream_ref.h"
#include "vfs/core/vfs_string.h"

namespace vfs {

// Holds one file system and owns one reference to it. Every forwarder on an
// empty handle returns Result -1 (GetRootPath: null) and does nothing else.
// Copies of a handle on different threads share the file system safely (the
// count is atomic). One handle may serve several threads at once only for
// calls its file system allows at once, and only while none of them resets,
// assigns or sets it.
// Note the slot order: FindFirst and FindNext come before OpenFile, and the
// destructor is the last slot.
class TARNVFS_API FileSystemRef {
  public:
    FileSystemRef() = default;
    FileSystemRef(const FileSystemRef& other);
    FileSystemRef& operator=(const FileSystemRef& other);

    // Slot 0.
    virtual void Reset();
    // Slots 1 to 10: forward to the held file system.
    virtual Result FindFirst(const char* pattern, FindData* out);
    virtual Result FindNext(FindData* out);
    virtual Result OpenFile(StreamRef& out, const char* path, uint32_t flags,
                            uint32_t reserved = 0);
    virtual Result GetFullPath(VfsString& out, const VfsString& relative);
    virtual Result GetFullPathBuffer(char* buffer, const char* relative, uint32_t bufferSize);
    virtual const char* GetRootPath();
    virtual Result SetAttributes(const char* path, uint32_t attributes);
    virtual Result CreateDirectory(const char* path);
    virtual Result Delete(const char* path);
    virtual Result Move(const char* from, const char* to);
    // Slot 11.
    virtual ~FileSystemRef();
    // Forwards to the held file system, as slots 1 to 10 do.
    Result Replace(const char* from, const char* to);
    // False when the handle is empty.
    bool ListsEachFileNameOnce(const char* directory);
    Result GetFileIdentity(const char* path, FileIdentity* out);
    Result GetArchiveIdentity(FileIdentity* out);
    const std::vector<WadRejectedRecord>* GetRejectedRecords();
    Result ReadRecord(const char* path, WadEntryRecord* out);
    Result CreateUnnamedFile(StreamRef& out, const char* path, const char* provisional);
    Result NameUnnamedFile(StreamRef& file, const char* path);

    FileSystem* Get() const { return fileSystem; }
    // Sets a (non-null) file system into the handle; one already held is
    // stacked beneath it as its parent.
    void Set(FileSystem* newFileSystem);

    // Replace what the handle holds with a newly opened host directory or
    // archive (defined with those file systems).
    Result OpenDirectory(const char* path);
    // A host directory held open, beneath which every path resolves without
    // following a link (see NativeFileSystem::OpenHeld): the directory at
    // `path`, or the directory `relative` beneath the one `base` holds.
    Result OpenHeldDirectory(const char* path);
    Result OpenHeldDirectory(FileSystemRef& base, const char* relative);
    Result OpenArchive(const char* path, uint32_t flags);
    // The same, giving why the archive did not open in `why` (a copy of
    // LastError, whose text reads after the archive's name: "is not a WAD
    // archive: ...", "cannot be read: ...").
    Result OpenArchive(const char* path, uint32_t flags, ErrorReason* why);

  private:
    FileSystem* fileSystem = nullptr;
};

}  // namespace vfs
