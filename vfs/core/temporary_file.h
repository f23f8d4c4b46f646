// TemporaryFile: write beside, then rename. A file is written without a
// name (where the file system can make such files) or under a new temporary
// name in the directory where it belongs, and takes its own name only once
// complete, so that nothing half-written ever bears that name.
// A TemporaryFile serves one thread at a time; several may be made in one
// directory at once on different threads, each through a handle of its own
// on the directory (FileSystemRef::OpenHeldDirectory(base, "")): their names
// never collide.
#pragma once

#include <cstdint>
#include <string>

#include "vfs/core/export.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/result.h"
#include "vfs/core/stream_ref.h"

namespace vfs {

class TARNVFS_API TemporaryFile {
  public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    // Deletes the file unless it was put in place or kept.
    ~TemporaryFile() { Discard(); }

    // Creates the file in `fileSystem`, in the directory of `path` (its text
    // up to its last "\"), to become `path`. Its name (".Tarnwad-XXXXXXXX.tmp",
    // short enough for any host whatever `path`'s name; the capital letter
    // keeps it apart from every name an archive reports, all lower case) is
    // one that nothing has: an existing file or link of the name is never
    // opened, and a few names are tried. `flags` are added to those that
    // create a new file for writing. -1, with the reason in LastError
    // (the host's own words), when none can be created.
    Result Create(FileSystemRef& fileSystem, const std::string& path, uint32_t flags = 0);
    // The same, but where the file system can make a file without a name
    // (FileSystem::CreateUnnamedFile), the file has none until PutInPlace
    // (Name() stays empty): one name less to make, rename and clean up.
    Result CreateUnnamedWherePossible(FileSystemRef& fileSystem, const std::string& path,
                                      uint32_t flags = 0);

    StreamRef& Stream() { return stream; }
    // Its name in the file system, empty when there is none (yet).
    const std::string& Name() const { return temporary; }

    // Closes the file and gives it its own name: replacing at once a file or
    // a link of that name when `replace` (see FileSystem::Replace), never
    // replacing anything otherwise. -1, the file kept for Discard, when the
    // rename fails.
    Result PutInPlace(bool replace) { return PutInPlace(replace, nullptr); }
    // The same; where the file took its name while still open (made by
    // CreateUnnamedWherePossible), its stream is left open in `stillOpen`
    // for the caller to close, on another thread say.
    Result PutInPlace(bool replace, StreamRef* stillOpen);
    // The caller put the file in place (or away) itself: it is no longer
    // this object's to delete.
    void Keep() { temporary.clear(); }
    // Closes the file and deletes it, if there is one.
    void Discard();

  private:
    FileSystemRef fileSystem;
    StreamRef stream;
    std::string path;
    std::string temporary;
    // The file has no name yet (see FileSystem::CreateUnnamedFile).
    bool unnamed = false;
};

}  // namespace vfs
