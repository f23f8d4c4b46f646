#include "vfs/edit/wad_image.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "vfs/core/last_error.h"
#include "vfs/edit/archive_file_io.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_rejected_record.h"

namespace vfs {

namespace {

// Names are looked at no further than the loader looks: one byte past the
// longest path it places in a tree.
constexpr uint32_t kNameWindow = WAD_MAX_PATH_LENGTH + 1;
// Separate names that lie close together are read in one piece of at most
// this size.
constexpr uint64_t kNameBatch = uint64_t{1} << 20;
constexpr uint64_t kNameGap = 4096;

Result Damaged(const std::string& what, uint64_t begin, uint64_t end, uint64_t size) {
    SetLastError(ErrorCode::DAMAGED, "is damaged or cut short: " + what + " (bytes " +
                                         std::to_string(begin) + " to " + std::to_string(end) +
                                         ") lies outside the " + std::to_string(size) +
                                         "-byte file");
    return Result::Fail();
}

}  // namespace

Result WadImage::Read(host::File& file) {
    *this = WadImage();
    const int64_t size = file.GetSize();
    if (size < 0) {
        SetLastError(ErrorCode::HOST_ERROR, "cannot be read: its size cannot be had");
        return Result::Fail();
    }
    fileSize = static_cast<uint64_t>(size);
    uint8_t headerBytes[WAD_HEADER_SIZE];
    const int64_t got = ReadFileUpTo(file, 0, headerBytes, sizeof headerBytes);
    if (got < 0 || WadHeader::Parse(headerBytes, static_cast<uint32_t>(got), &header).Failed()) {
        return Result::Fail();
    }
    const uint64_t tableEnd = WAD_HEADER_SIZE + uint64_t{WAD_RECORD_SIZE} * header.entryCount;
    if (tableEnd > fileSize) {
        return Damaged("its record table", WAD_HEADER_SIZE, tableEnd, fileSize);
    }
    std::vector<uint8_t> table(tableEnd - WAD_HEADER_SIZE);
    if (ReadFileAt(file, WAD_HEADER_SIZE, table.data(), table.size()).Failed()) {
        return Result::Fail();
    }
    records.resize(header.entryCount);
    for (uint32_t i = 0; i < header.entryCount; ++i) {
        records[i] = WadEntryRecord::Decode(table.data() + uint64_t{i} * WAD_RECORD_SIZE);
    }
    names.assign(records.size(), std::string());
    named.assign(records.size(), false);

    if (!header.NamesInTable()) {
        return ReadSeparateNames(file);
    }
    if (header.nameTableSize > 0) {
        const uint64_t end = uint64_t{header.nameTableOffset} + header.nameTableSize;
        if (end > fileSize) {
            return Damaged("its name table", header.nameTableOffset, end, fileSize);
        }
        nameTable.resize(header.nameTableSize);
        if (ReadFileAt(file, header.nameTableOffset, nameTable.data(), nameTable.size()).Failed()) {
            return Result::Fail();
        }
    }
    for (size_t i = 0; i < records.size(); ++i) {
        const uint32_t offset = records[i].nameOffset;
        const uint32_t position = offset - header.nameTableOffset;
        if (offset < header.nameTableOffset || position >= nameTable.size()) {
            continue;
        }
        const size_t available = std::min<size_t>(nameTable.size() - position, kNameWindow);
        TakeName(i, reinterpret_cast<const char*>(nameTable.data()) + position, available);
    }
    return Result::Ok();
}

Result WadImage::ReadSeparateNames(host::File& file) {
    // Every name must lie in the file, as the loader demands.
    for (size_t i = 0; i < records.size(); ++i) {
        const FileRange range = NameRange(records[i]);
        if (range.end > fileSize) {
            return Damaged("the name of record " + std::to_string(i), range.begin, range.end,
                           fileSize);
        }
    }
    // Names in the order they lie, read a stretch at a time.
    std::vector<uint32_t> order(records.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return records[a].nameOffset < records[b].nameOffset;
    });
    std::vector<char> batch;
    for (size_t first = 0; first < order.size();) {
        const uint64_t begin = records[order[first]].nameOffset;
        uint64_t end = begin;
        size_t last = first;
        for (; last < order.size(); ++last) {
            const WadEntryRecord& record = records[order[last]];
            const uint64_t nameEnd =
                record.nameOffset +
                std::min<uint64_t>(uint64_t{record.nameLength} + 1, kNameWindow);
            if (last > first &&
                (record.nameOffset > end + kNameGap || nameEnd - begin > kNameBatch)) {
                break;
            }
            end = std::max(end, nameEnd);
        }
        batch.resize(end - begin);
        if (ReadFileAt(file, begin, batch.data(), batch.size()).Failed()) {
            return Result::Fail();
        }
        for (size_t k = first; k < last; ++k) {
            const WadEntryRecord& record = records[order[k]];
            const size_t available =
                std::min<uint64_t>(uint64_t{record.nameLength} + 1, kNameWindow);
            TakeName(order[k], batch.data() + (record.nameOffset - begin), available);
        }
        first = last;
    }
    return Result::Ok();
}

void WadImage::TakeName(size_t index, const char* name, size_t available) {
    const char* end = static_cast<const char*>(std::memchr(name, '\0', available));
    if (end == nullptr) {
        return;
    }
    const auto length = static_cast<uint32_t>(end - name);
    names[index].assign(name, length);
    named[index] = !CheckWadPath(name, length).has_value();
}

std::vector<FileRange> WadImage::UsedRanges() const {
    std::vector<FileRange> used;
    used.reserve(records.size() * 2 + 2);
    used.push_back({0, WAD_HEADER_SIZE + uint64_t{WAD_RECORD_SIZE} * records.size()});
    if (header.NamesInTable()) {
        used.push_back(
            {header.nameTableOffset, uint64_t{header.nameTableOffset} + header.nameTableSize});
    }
    for (const WadEntryRecord& record : records) {
        if (!header.NamesInTable()) {
            used.push_back(NameRange(record));
        }
        FileRange data = DataRange(record);
        data.end = std::min(data.end, fileSize);
        if (data.begin < data.end) {
            used.push_back(data);
        }
    }
    return used;
}

}  // namespace vfs
