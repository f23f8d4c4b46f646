// The file `tarnwad pack` writes an archive into before it bears its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vfs/core/file_system_ref.h"
#include "vfs/core/stream_ref.h"
#include "vfs/core/temporary_file.h"

namespace tarnwad::pack {

// The archive being written: a new file of a short temporary name
// (".Tarnwad-XXXXXXXX.tmp", within any host's name limit whatever the
// output's name) in the output's directory, held open, and renamed there to
// the output's name once complete, so that no half-written archive ever
// bears that name and a directory swapped in on the output's path meanwhile
// cannot redirect it. Deleted unless committed.
class TemporaryArchive {
  public:
    TemporaryArchive() = default;
    TemporaryArchive(const TemporaryArchive&) = delete;
    TemporaryArchive& operator=(const TemporaryArchive&) = delete;
    ~TemporaryArchive() { Discard(); }

    // Creates the file in `directory` (a held directory), to be named
    // `name` there; empty on success, otherwise why not.
    std::string Create(const vfs::FileSystemRef& directory, const std::string& name);

    // Appends `size` bytes: large pieces written from where they lie, small
    // ones gathered into blocks first. False once a write has failed.
    bool Append(const uint8_t* bytes, size_t size);
    // Writes what Append gathered; false when a write failed.
    bool Drain();
    // Writes `size` bytes from the start of the file, over what is there.
    bool WriteFromStart(const uint8_t* bytes, size_t size);

    // Flushes the file to the disk and renames it to the output's name
    // (replacing a file or link of that name only when `force`). Empty on
    // success, otherwise why not, the file deleted.
    std::string Commit(bool force);
    // Copies the whole file to `out` (standard output), then deletes it.
    // Empty on success, otherwise why not.
    std::string CopyOut(std::FILE* out);
    // Closes and deletes the file, if there is one.
    void Discard();

  private:
    bool Put(const uint8_t* bytes, size_t size);

    vfs::TemporaryFile file;
    std::vector<uint8_t> block;
};

}  // namespace tarnwad::pack
