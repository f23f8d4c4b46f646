// An in-memory archive for the WAD tests: a vfs::Stream over a byte vector,
// and helpers that load a WadDirectory from it and list what it finds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "vfs/core/find_data.h"
#include "vfs/core/stream.h"
#include "vfs/core/stream_ref.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_header.h"
#include "vfs/wad/wad_writer.h"

namespace wadtest {

// Reads and seeks over `bytes`; counts what it is asked for, so that tests
// can check how much a load tried to read.
class FakeArchiveStream : public vfs::Stream {
  public:
    explicit FakeArchiveStream(std::vector<uint8_t> content) : bytes(std::move(content)) {}

    int32_t Read(void* buffer, int32_t count) override {
        largestRead = std::max(largestRead, count);
        int32_t available = static_cast<int32_t>(bytes.size()) - position;
        int32_t n = std::clamp(count, 0, std::max(available, 0));
        if (n > 0) {
            std::memcpy(buffer, bytes.data() + position, static_cast<size_t>(n));
        }
        position += n;
        return n;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, int32_t origin) override {
        int64_t base = origin == vfs::SEEK_FROM_START     ? 0
                       : origin == vfs::SEEK_FROM_CURRENT ? position
                                                          : static_cast<int64_t>(bytes.size());
        int64_t target = base + offset;
        // Like a host file: positions past the end are allowed.
        if (target < 0 || target > INT32_MAX) {
            return -1;
        }
        position = static_cast<int32_t>(target);
        return position;
    }
    int32_t GetSize() override { return reportSize ? static_cast<int32_t>(bytes.size()) : -1; }
    int32_t Tell() override { return position; }

    std::vector<uint8_t> bytes;
    int32_t position = 0;
    bool reportSize = true;
    int32_t largestRead = 0;
};

// Loads `archive` into `directory` the way the file system does: names in
// the table for version 2.
inline vfs::Result LoadArchive(vfs::WadDirectory& directory, const std::vector<uint8_t>& archive,
                               bool reportSize = true) {
    auto* stream = new FakeArchiveStream(archive);
    stream->reportSize = reportSize;
    vfs::StreamRef ref;
    ref.Set(stream);
    bool namesInTable = archive.size() >= 8 && archive[4] == 2 && archive[5] == 0 &&
                        archive[6] == 0 && archive[7] == 0;
    return directory.Load(ref, namesInTable);
}

// Every match of `pattern`, in order, as "d:path" for a directory and
// "f:path:size" for a file.
inline std::vector<std::string> Matches(vfs::WadDirectory& directory, const char* pattern) {
    std::vector<std::string> found;
    vfs::FindData data;
    for (vfs::Result r = directory.FirstMatch(pattern, &data); r.Succeeded();
         r = directory.NextMatch(&data)) {
        if (data.attributes == 0x10) {
            found.push_back("d:" + std::string(data.path));
        } else {
            found.push_back("f:" + std::string(data.path) + ":" + std::to_string(data.size));
        }
    }
    return found;
}

// An archive of the given version holding a stored file of one byte for each
// path, in order.
inline std::vector<uint8_t> ArchiveOf(const std::vector<std::string>& paths, uint32_t version = 2) {
    vfs::WadWriter writer(version);
    const uint8_t byte = 'x';
    for (const std::string& path : paths) {
        writer.AddFile(path.c_str(), &byte, 1);
    }
    return writer.Finish();
}

// Overwrites the little-endian 32-bit field at `offset`.
inline void Patch32(std::vector<uint8_t>& archive, size_t offset, uint32_t value) {
    if (offset > archive.size() || archive.size() - offset < 4) {
        throw std::out_of_range("a field beyond the end of the archive");
    }
    for (int i = 0; i < 4; ++i) {
        archive[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// Offsets of header and record fields, for patching.
inline constexpr size_t VERSION_AT = 4;
inline constexpr size_t ENTRY_COUNT_AT = 72;
inline constexpr size_t NAME_TABLE_OFFSET_AT = 76;
inline constexpr size_t NAME_TABLE_SIZE_AT = 80;
inline constexpr size_t RecordField(uint32_t index, size_t field) {
    return vfs::WAD_HEADER_SIZE + 40 * index + field;
}
inline constexpr size_t NAME_OFFSET = 4;
inline constexpr size_t NAME_LENGTH = 8;

}  // namespace wadtest
