// WadWriter: builds a WAD archive in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vfs/core/export.h"
#include "vfs/core/result.h"
#include "vfs/wad/wad_entry_record.h"

namespace vfs {

// Codes files' bytes as WadWriter::AddFile codes them, byte for byte, in
// work areas of its own that it keeps from one call to the next. A coder
// serves one thread at a time; coders on different threads code at once.
class TARNVFS_API WadEntryCoder {
  public:
    WadEntryCoder();
    ~WadEntryCoder();
    WadEntryCoder(const WadEntryCoder&) = delete;
    WadEntryCoder& operator=(const WadEntryCoder&) = delete;

    // The `size` bytes coded with `coding` into `coded` (whatever it held
    // is replaced), and the entry flags of that coding. 0, with `coded`
    // unspecified, when AddFile would store the bytes as they are instead:
    // for STORED and REFUSED, and for a coding the bytes cannot take.
    uint32_t Code(const uint8_t* bytes, size_t size, WadCoding coding, std::vector<uint8_t>& coded);

  private:
    // Room for `size` bytes of coded output.
    uint8_t* Output(size_t size);

    std::unique_ptr<int32_t[]> lzWork;
    std::unique_ptr<std::max_align_t[]> zlibWork;
    std::unique_ptr<uint8_t[]> output;
    size_t outputSize = 0;
};

// Takes the `size` bytes at `bytes`, the next piece of an archive; false
// stops the writing.
using WadWriteFunction = bool (*)(const uint8_t* bytes, size_t size, void* userValue);

// Collects entries, then lays out an archive of version 0, 1 or 2: the
// header, one record per entry in the order added, the names (in version 2 as
// the name table), then the data of each entry. Names are written as given;
// "\" separates their components, and their path hash is computed with any
// "/" read as "\", as a reader looks them up. A writer serves one thread at a
// time (WadEntryCoder codes on several). The writer checks nothing about
// the names: unsafe ones can be written on purpose.
class TARNVFS_API WadWriter {
  public:
    explicit WadWriter(uint32_t version = 2);

    // Adds the file `path` with `size` bytes, coded with `coding`; REFUSED
    // stores them as STORED does (SetFlags refuses an entry). A coding the
    // bytes cannot take (zlib-framing of data that does not shrink or of 28
    // bytes or fewer, LZ of more than the LZ header can record) stores them
    // as they are instead;
    // EntryFlags tells which coding an entry got. -1, nothing added, when the
    // archive would outgrow what a reader can position in (2 GiB).
    Result AddFile(const char* path, const uint8_t* bytes, size_t size,
                   WadCoding coding = WadCoding::STORED);
    Result AddFile(const char* path, const std::vector<uint8_t>& bytes,
                   WadCoding coding = WadCoding::STORED) {
        return AddFile(path, bytes.data(), bytes.size(), coding);
    }
    // Adds an entry whose stored bytes, flags and unpacked size are written
    // exactly as given, whatever they mean. Same limits as AddFile.
    Result AddRawEntry(const char* path, const uint8_t* stored, size_t storedSize, uint32_t flags,
                       uint32_t unpackedSize);
    // As above, taking over the stored bytes; they are left as they were
    // when nothing is added.
    Result AddRawEntry(const char* path, std::vector<uint8_t>&& stored, uint32_t flags,
                       uint32_t unpackedSize);
    // Adds an entry of `storedSize` stored bytes that the writer does not
    // hold: whoever writes the archive writes them, after WriteFront's
    // bytes and the data of the entries added before it. Finish and WriteTo
    // put zeros in their place. Same limits as AddFile.
    Result AddPlacedEntry(const char* path, size_t storedSize, uint32_t flags,
                          uint32_t unpackedSize);

    // Overrides the flags or the path hash of entry `index` (in the order
    // added); an index out of range is ignored.
    void SetFlags(size_t index, uint32_t flags);
    void SetPathHash(size_t index, uint32_t pathHash);

    size_t EntryCount() const { return entries.size(); }
    uint32_t EntryFlags(size_t index) const;

    // The whole archive.
    std::vector<uint8_t> Finish() const;
    // The bytes of the archive Finish would make, handed to `write` piece
    // by piece in order (WriteFront's piece, then each entry's stored bytes
    // as they are held, skipping empty ones, and zeros for a placed entry):
    // no copy of the whole archive is made. False as soon as `write`
    // returns false.
    bool WriteTo(WadWriteFunction write, void* userValue) const;
    // The header, the records and the names: all that comes before the
    // entries' data, at once.
    bool WriteFront(WadWriteFunction write, void* userValue) const;
    // The size of the archive Finish would make now.
    uint64_t ArchiveSize() const { return archiveSize; }

  private:
    struct Entry {
        std::string path;
        std::vector<uint8_t> stored;  // empty for a placed entry
        size_t storedSize = 0;
        uint32_t flags = 0;
        uint32_t unpackedSize = 0;
        uint32_t pathHash = 0;
    };

    // Whether an entry of these sizes keeps the archive within what a
    // reader can position in.
    bool Fits(size_t pathSize, size_t storedSize) const;
    Result Add(Entry entry);

    uint32_t version;
    std::vector<Entry> entries;
    uint64_t archiveSize;  // of the archive Finish would make now
};

}  // namespace vfs
