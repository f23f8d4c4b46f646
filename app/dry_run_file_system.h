// DryRunFileSystem: the destination of an unpack that only tells what it
// would write.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "vfs/core/file_system.h"
#include "vfs/core/file_system_ref.h"

namespace tarnwad {

// Stands for an output directory without changing anything in it: the copy
// runs against it exactly as against the real directory, so that what it
// would create, write, replace, keep or fail on is decided by the same steps.
// Lookups see what the copy has pretended to make, over what `existing` (the
// output directory as it is, held; an empty handle where it does not exist
// yet) holds. New files swallow their bytes; directories and renames are
// noted. Only exact names are looked up: the copy never lists its
// destination.
class DryRunFileSystem : public vfs::FileSystem {
  public:
    explicit DryRunFileSystem(const vfs::FileSystemRef& existing);

    // New files only (what the copy writes its bytes to): a stream that
    // takes every byte and keeps none.
    vfs::Result OpenFile(vfs::StreamRef& out, const char* path, uint32_t flags,
                         uint32_t reserved) override;
    vfs::Result FindFirst(const char* pattern, vfs::FindData* out) override;
    vfs::Result FindNext(vfs::FindData* out) override;
    vfs::Result SetAttributes(const char* path, uint32_t attributes) override;
    vfs::Result CreateDirectory(const char* path) override;
    vfs::Result Delete(const char* path) override;
    vfs::Result Move(const char* from, const char* to) override;
    vfs::Result Replace(const char* from, const char* to) override;
    vfs::Result GetFileIdentity(const char* path, vfs::FileIdentity* out) override;
    void Close() override { existing.Reset(); }

    // The files the copy put in place, in its order (relative paths, "\"
    // separated).
    const std::vector<std::string>& Placed() const { return placed; }

  private:
    bool Taken(const std::string& path);

    vfs::FileSystemRef existing;
    std::set<std::string> directories;
    std::set<std::string> files;  // placed, and new files still being written
    std::vector<std::string> placed;
};

}  // namespace tarnwad
