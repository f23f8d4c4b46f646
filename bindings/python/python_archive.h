// Archive: an archive opened from Python, and what its methods return.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/archive_catalog.h"
#include "vfs/core/last_error.h"
#include "vfs/core/stream_ref.h"

namespace tarnvfs_python {

// One entry of an archive, with the verdict `list` gives it.
struct EntryInfo {
    std::string path;  // as the archive reports it: lower case, "\" separated
    uint32_t size = 0;
    uint32_t storedSize = 0;
    std::string coding;  // "stored", "lz", "zlib" or "refused"
    uint32_t flags = 0;
    uint32_t recordIndex = 0;
    vfs::ErrorCode code = vfs::ErrorCode::NONE;  // why it cannot be opened, or NONE
    std::string reason;                          // the same in words; empty when it opens
    std::string note;  // a size its record gives but its bytes are not; usually empty
};

// Something that went wrong with one path (an entry, a directory, a record).
struct Finding {
    std::string path;
    std::string reason;
    std::optional<uint32_t> recordIndex;  // for a record the archive left out
};

// What an unpack did.
struct UnpackResult {
    bool succeeded = false;
    bool interrupted = false;
    std::string outputDirectory;
    uint32_t filesWritten = 0;
    uint32_t directoriesCreated = 0;
    uint64_t bytesWritten = 0;
    std::vector<Finding> failures;
    std::vector<Finding> warnings;
    std::vector<Finding> rejected;
    std::vector<std::string> refused;
    std::vector<std::string> kept;
    std::vector<std::string> unmatched;
};

// What verify found of one entry.
struct VerifyVerdict {
    std::string path;
    std::string outcome;  // "ok", "refused", "hidden" or "failed"
    std::string reason;   // why it failed, or the warning about it; may be empty
};

struct VerifyResult {
    std::vector<VerifyVerdict> entries;
    uint32_t readInFull = 0;
    uint32_t withChecksum = 0;
    uint32_t refused = 0;
    uint32_t hidden = 0;
    uint32_t failed = 0;
    std::vector<Finding> rejected;
    uint32_t rejectedCount = 0;
    bool Ok() const { return failed == 0 && rejectedCount == 0; }
};

// An entry opened for reading: the library's entry stream, which holds the
// archive file itself, so that it reads on after its archive is closed.
class EntryStream {
  public:
    EntryStream(std::unique_ptr<vfs::StreamRef> opened, std::string entryPath);

    int64_t Size() const { return size; }
    bool Closed() const { return stream == nullptr; }
    // Reads into the writable buffer `target`; the count read.
    int64_t ReadInto(const pybind11::buffer& target);
    // Up to `count` bytes (all that is left when negative).
    pybind11::bytes Read(int64_t count);
    int64_t Seek(int64_t offset, int whence);
    int64_t Tell();
    void Close();

  private:
    // Takes `lock`, one read or seek at a time.
    std::unique_lock<std::mutex> Lock();
    vfs::StreamRef& Open();
    // Reads `count` bytes into `target` without the GIL; the count read.
    int64_t ReadBytes(char* target, int64_t count);

    std::mutex lock;
    std::unique_ptr<vfs::StreamRef> stream;
    std::string path;
    int64_t size = 0;
};

class Archive {
  public:
    // Opens the archive at the absolute host path `hostPath`; raises
    // ArchiveError (ArchiveNotFoundError) with the reason when it does not.
    explicit Archive(std::string hostPath);

    const std::string& Path() const { return path; }
    bool Closed() const { return catalog == nullptr; }
    void Close() { catalog.reset(); }

    std::vector<EntryInfo> Entries();
    pybind11::bytes Read(const std::string& entryPath);
    std::unique_ptr<EntryStream> OpenEntry(const std::string& entryPath);
    UnpackResult Unpack(const std::string& outputDirectory,
                        const std::optional<std::vector<std::string>>& patterns, unsigned jobs,
                        bool keepExisting, bool probe);
    VerifyResult Verify();

  private:
    // The catalog, held for the call (a close meanwhile leaves it alive);
    // raises ValueError when the archive is closed.
    std::shared_ptr<tarnwad::cli::ArchiveCatalog> Held() const;
    // Opens `entryPath` into `stream`; raises EntryError with the reason.
    void OpenStream(tarnwad::cli::ArchiveCatalog& held, const std::string& entryPath,
                    vfs::StreamRef& stream);

    std::string path;
    std::shared_ptr<tarnwad::cli::ArchiveCatalog> catalog;
};

}  // namespace tarnvfs_python
