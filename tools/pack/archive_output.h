// The archive `tarnwad pack` writes, entry by entry.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/pack/entry_coder.h"
#include "tools/pack/temporary_archive.h"
#include "tools/pack/tree_reader.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/wad/wad_writer.h"

namespace tarnwad::pack {

// Writes an archive of format `version` to be named `name` in the held
// `directory`. The entries' bytes go to its temporary file as they are
// added, its front (header, records and names, whose size the paths tell)
// in place at the end, so that the archive's bytes are never all in memory
// and most are written while files are still coded. Should the file not be
// created, or a write fail, nothing is said until every file is added, as
// when the archive is written at the end: then the writer holds the archive
// and Commit writing it says why it failed, or tells the write failure. An
// archive not committed is not written.
class ArchiveOutput {
  public:
    // `files`: the files the archive will hold, in their order; their paths
    // tell the size of the archive's front.
    ArchiveOutput(const vfs::FileSystemRef& directory, const std::string& name, uint32_t version,
                  const std::vector<PackFile>& files);
    ArchiveOutput(const ArchiveOutput&) = delete;
    ArchiveOutput& operator=(const ArchiveOutput&) = delete;

    // Adds the next file at the archive path `path`, taking its stored
    // bytes. False, nothing added, when the archive would outgrow what a
    // reader can position in (2 GiB).
    bool Add(const std::string& path, PackedFile& packed);

    // Completes the archive and renames it to its name (replacing a file or
    // link of that name only when `force`). Empty on success, otherwise why
    // not.
    std::string Commit(bool force);
    // Completes the archive and writes it to `out` (standard output) instead,
    // the temporary file deleted. Empty on success, otherwise why not.
    std::string CopyOut(std::FILE* out);

    // The size of the archive as it stands.
    uint64_t ArchiveSize() const { return writer.ArchiveSize(); }

  private:
    // Writes the archive's front over the zeros that hold its place. False,
    // the file discarded, when that or an earlier write failed.
    bool CompleteFront();

    const vfs::FileSystemRef& directory;
    const std::string name;
    vfs::WadWriter writer;
    TemporaryArchive streamed;
    const bool streaming;
    bool streamFailed = false;
    uint64_t frontSize = 0;
};

}  // namespace tarnwad::pack
