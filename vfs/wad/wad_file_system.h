// WadFileSystem: the read-only file system over one WAD archive.
#pragma once

#include <cstdint>
#include <vector>

#include "vfs/core/export.h"
#include "vfs/core/file_system.h"
#include "vfs/core/last_error.h"
#include "vfs/core/vfs_string.h"
#include "vfs/native/path_stream_ref.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"
#include "vfs/wad/wad_rejected_record.h"

namespace vfs {

// Serves the entries of one archive through the FileSystem interface.
// `Open` binds it to an archive file, optionally below a directory inside the
// archive (the inner root, after the archive separator "*\"), which then acts
// as the top. Entries open as stream stacks over the archive's one host
// stream, each with a position of its own, and stay readable after the file
// system is gone.
//
// Threads: once open, OpenFile, ReadRecord, IsRefused and CheckEntry may run
// on several threads at once (each looks up with a finder of its own), and
// the entry streams they give may be read on different threads at once,
// each by one thread at a time: they read the archive file with positioned
// reads, or under its lock where the host has none. One enumeration
// (FindFirst, FindNext) runs at a time, beside those; Open and Close run
// alone. Operations that would change the tree fail, except
// CreateDirectory, which reports success and does nothing.
class TARNVFS_API WadFileSystem : public FileSystem {
  public:
    WadFileSystem() = default;
    ~WadFileSystem() override;

    // Opens the archive at `path` (a host path, optionally followed by "*\"
    // and a directory inside the archive; "\" or "/" separators). Of `flags`
    // only OPEN_BUFFERED is looked at. A file larger than
    // WAD_MAX_ARCHIVE_SIZE is not an archive. On failure the file system is
    // closed.
    Result Open(const char* path, uint32_t flags);

    // On failure vfs::LastError() says why: no such entry, refused by the
    // archive, a directory of the path found first, a record whose path hash
    // does not match its path, data outside the file, data that does not
    // decode (in the codec's words), too large, or the host's reason.
    Result OpenFile(StreamRef& out, const char* path, uint32_t flags, uint32_t reserved) override;
    Result FindFirst(const char* pattern, FindData* out) override;
    Result FindNext(FindData* out) override;
    Result SetAttributes(const char* path, uint32_t attributes) override;
    Result CreateDirectory(const char* path) override;
    Result Delete(const char* path) override;
    Result Move(const char* from, const char* to) override;
    void Close() override;
    // The archive's tree knows where one path has several records.
    bool ListsEachFileNameOnce(const char* directory) override;

    // The header of the open archive.
    const WadHeader& GetHeader() const { return header; }
    // The archive's tree, for tools that report on the archive.
    const WadDirectory& GetDirectory() const { return directory; }
    // The directory inside the archive that acts as the top, with a '\' at
    // each end as the path given to Open spells it ("\Maps\"), or "" for
    // the archive's top.
    const char* GetInnerRoot() const {
        return innerRoot.length == 0 || innerRoot.c_str() == nullptr ? "" : innerRoot.c_str();
    }
    // Records the loader left out of the tree, with the reason.
    const std::vector<WadRejectedRecord>* GetRejectedRecords() override;
    // True when `path` names a file whose record the archive flags as not to
    // be opened.
    bool IsRefused(const char* path);
    // Reads the record of the file that `path` names. -1 when there is no
    // such file or the record cannot be read (vfs::LastError() says which).
    Result ReadRecord(const char* path, WadEntryRecord* out) override;
    // Who the archive file is (see FileIdentity); -1 when none is open or
    // the host cannot say.
    Result GetArchiveIdentity(FileIdentity* out) override;
    // Reads the whole record table, rejected records included, into `out`,
    // through the archive file opened at Open (never opened again by its
    // path). -1, with the reason in vfs::LastError(), when it cannot be
    // read in full.
    Result ReadRecordTable(std::vector<WadEntryRecord>* out);
    // Size of the archive file in bytes when it was opened.
    uint64_t GetArchiveSize() const {
        return archiveSize < 0 ? 0 : static_cast<uint64_t>(archiveSize);
    }
    // Whether `entry`, a file of the tree whose path below the top is
    // `path`, opens as far as the tree and its record tell, without reading
    // its data: the checks OpenFile makes before it reads. -1, with the
    // reason in vfs::LastError(), when opening `path` would not serve it (a
    // directory of the path is found first, its record's path hash is not
    // the hash of its path, an earlier record of the path is found instead)
    // or would fail on its record (refused, data outside the file, too
    // large).
    Result CheckEntry(const char* path, const WadFileEntry& entry);

  private:
    // Closes, sets `why` as the calling thread's reason and fails.
    Result Refuse(ErrorCode code, std::string why);
    // Looks up the file `path` names, gives its record (kept in the tree
    // since the archive was opened) and leaves a private position over the
    // host stream in the empty `reader`. The record holds the path hash, the
    // data offset, the sizes and the flags; the rest stays zero. Where the
    // record lies in the archive goes to `recordOffset`, the entry of the
    // tree to `found`, when they are given. On failure the reason is set.
    Result OpenRecord(const char* path, StreamRef& reader, WadEntryRecord* record,
                      uint32_t* recordOffset = nullptr, const WadFileEntry** found = nullptr);
    // Whether the record of a found entry lets it open: not refused, its data
    // inside the file and within what a stream can hold. -1 with the reason
    // set when it does not.
    Result CheckRecord(const WadFileEntry& entry) const;
    // Removes the inner root from the front of a found entry's path.
    void CutInnerRoot(FindData* out) const;

    VfsString innerRoot;
    VfsString findPattern;
    WadHeader header;
    PathStreamRef archive;
    Stream* hostStream = nullptr;
    // The archive file's size when it was opened (-1 when unknown).
    int64_t archiveSize = -1;
    WadDirectory directory;
};

}  // namespace vfs
