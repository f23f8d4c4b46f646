// WadImage: an archive's header, records and names as they lie in the file,
// for changing them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vfs/core/result.h"
#include "vfs/host/host_file.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"

namespace vfs {

// A range of file bytes, [begin, end).
struct FileRange {
    uint64_t begin = 0;
    uint64_t end = 0;
};

class WadImage {
  public:
    // Reads the archive open in `file` as the reader loads it: the same
    // header, record table and name checks. -1, with the reason, when the
    // reader would not open it.
    Result Read(host::File& file);

    WadHeader header;
    std::vector<WadEntryRecord> records;
    // Each record's name as stored, up to its NUL; `named[i]` is false where
    // the reader leaves the record out of the tree (no NUL where its name
    // should end, the name outside the name table, an unusable path).
    std::vector<std::string> names;
    std::vector<bool> named;
    std::vector<uint8_t> nameTable;  // version 2
    uint64_t fileSize = 0;

    // Every byte the archive refers to: header, record table, names (or the
    // name table) and the records' data, as far as it lies in the file.
    std::vector<FileRange> UsedRanges() const;
    // The bytes a version 0 or 1 record's name takes, NUL included.
    static FileRange NameRange(const WadEntryRecord& record) {
        return {record.nameOffset, uint64_t{record.nameOffset} + record.nameLength + 1};
    }
    static FileRange DataRange(const WadEntryRecord& record) {
        return {record.dataOffset, uint64_t{record.dataOffset} + record.storedSize};
    }

  private:
    Result ReadSeparateNames(host::File& file);
    void TakeName(size_t index, const char* name, size_t available);
};

}  // namespace vfs
