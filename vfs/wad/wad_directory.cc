#include "vfs/wad/wad_directory.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "vfs/core/last_error.h"
#include "vfs/core/stream.h"
#include "vfs/host/host_error.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"

namespace vfs {

namespace {

// Bytes read per Read call for the tables. A size field promising more than
// the archive holds thus costs no more memory than the bytes really there.
constexpr uint32_t READ_CHUNK = 256 * 1024;

// Records decoded per read of the record table.
constexpr uint32_t RECORDS_PER_READ = READ_CHUNK / WAD_RECORD_SIZE;

// Positions the archive at `offset` (at most 4 GiB - 1 plus a name's length,
// well within 64 bits); false unless it lands exactly there.
bool SeekTo(StreamRef& archive, uint64_t offset) {
    const auto target = static_cast<int64_t>(offset);
    return archive.Seek64(target, SEEK_FROM_START) == target;
}

// Reads exactly `count` bytes from the current position into `out`.
template <class Byte>
bool ReadExactly(StreamRef& archive, uint64_t count, std::vector<Byte>& out) {
    out.clear();
    while (out.size() < count) {
        uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(READ_CHUNK, count - out.size()));
        size_t at = out.size();
        out.resize(at + n);
        if (archive.Read(out.data() + at, static_cast<int32_t>(n)) != static_cast<int32_t>(n)) {
            return false;
        }
    }
    return true;
}

// False when the archive's size is known and ends before `end`; then the
// reason is that `what`, from `start` to `end`, lies outside the file.
bool MayHold(StreamRef& archive, uint64_t start, uint64_t end, const std::string& what) {
    int64_t size = archive.GetSize64();
    if (size < 0 || end <= static_cast<uint64_t>(size)) {
        return true;
    }
    SetLastError(ErrorCode::DAMAGED, "is damaged or cut short: " + what + " (bytes " +
                                         std::to_string(start) + " to " + std::to_string(end) +
                                         ") lies outside the " + std::to_string(size) +
                                         "-byte file");
    return false;
}

// Sets why `what` could not be read in full: the host's reason when it gave
// one, else that the file ends first, and fails.
Result ReadFailure(const std::string& what) {
    const std::string why = host::LastErrorText();
    if (!why.empty()) {
        SetLastError(ErrorCode::HOST_ERROR, "cannot be read: " + why);
    } else {
        SetLastError(ErrorCode::DAMAGED, "is damaged or cut short: the file ends within " + what);
    }
    return Result::Fail();
}

// "/" to "\" and A-Z to a-z, up to the first NUL.
void FoldName(char* name) {
    for (; *name != '\0'; ++name) {
        if (*name == '/') {
            *name = '\\';
        } else if (*name >= 'A' && *name <= 'Z') {
            *name = static_cast<char>(*name - 'A' + 'a');
        }
    }
}

}  // namespace

Result WadDirectory::Load(StreamRef& archive, bool namesInTable) {
    Clear();
    root = std::make_unique<WadDirNode>();
    sharedFinder = std::make_unique<WadFinder>();

    host::ClearLastError();
    uint8_t headerBytes[WAD_HEADER_SIZE];
    int32_t got =
        archive.Seek(0, SEEK_FROM_START) == 0 ? archive.Read(headerBytes, WAD_HEADER_SIZE) : -1;
    if (got < 0) {
        return ReadFailure("its header");
    }
    WadHeader header;
    if (WadHeader::Parse(headerBytes, static_cast<uint32_t>(got), &header).Failed()) {
        return Result::Fail();
    }

    // 64-bit, so that no entry count wraps the table's size; a table that
    // cannot fit in the archive fails before anything is allocated for it.
    uint64_t tableEnd = WAD_HEADER_SIZE + uint64_t{WAD_RECORD_SIZE} * header.entryCount;
    if (!MayHold(archive, WAD_HEADER_SIZE, tableEnd, "its record table")) {
        return Result::Fail();
    }
    // An empty name table holds nothing to read, wherever its offset points.
    if (namesInTable && header.nameTableSize > 0) {
        uint64_t nameTableEnd = uint64_t{header.nameTableOffset} + header.nameTableSize;
        if (!MayHold(archive, header.nameTableOffset, nameTableEnd, "its name table")) {
            return Result::Fail();
        }
        if (!SeekTo(archive, header.nameTableOffset) ||
            !ReadExactly(archive, header.nameTableSize, nameTable)) {
            nameTable = std::vector<char>();
            return ReadFailure("its name table");
        }
    }
    // The record table a stretch at a time: the tree keeps what it needs of
    // each record, so the whole table is never in memory at once.
    std::vector<uint8_t> records;
    for (uint32_t first = 0; first < header.entryCount; first += RECORDS_PER_READ) {
        const uint32_t count = std::min(RECORDS_PER_READ, header.entryCount - first);
        if (!SeekTo(archive, WadRecordOffset(first)) ||
            !ReadExactly(archive, uint64_t{count} * WAD_RECORD_SIZE, records)) {
            return ReadFailure("its record table");
        }
        if (LoadRecords(archive, records, first, count, header.nameTableOffset, namesInTable)
                .Failed()) {
            return Result::Fail();
        }
    }
    return Result::Ok();
}

Result WadDirectory::LoadRecords(StreamRef& archive, const std::vector<uint8_t>& records,
                                 uint32_t firstIndex, uint32_t count, uint32_t nameTableOffset,
                                 bool namesInTable) {
    // A name is looked at no further than one byte past the longest path
    // placed in a tree, so no record costs more than that however long its
    // name claims to be.
    constexpr uint32_t NAME_WINDOW = WAD_MAX_PATH_LENGTH + 1;
    std::vector<char> nameBuffer;  // versions 0 and 1: the name of one record

    for (uint32_t i = firstIndex; i < firstIndex + count; ++i) {
        WadEntryRecord record =
            WadEntryRecord::Decode(records.data() + size_t{i - firstIndex} * WAD_RECORD_SIZE);
        char* name = nullptr;
        size_t available = 0;  // bytes from `name` to the end of what was read
        bool sawWholeName = false;

        if (namesInTable) {
            // Before the table, or at or past its end, lies outside it.
            uint32_t position = record.nameOffset - nameTableOffset;
            if (record.nameOffset < nameTableOffset || position >= nameTable.size()) {
                Reject(i, "", 0, WadRejectReason::NAME_OUTSIDE_TABLE);
                continue;
            }
            name = nameTable.data() + position;
            size_t toEnd = nameTable.size() - position;
            available = std::min<size_t>(toEnd, NAME_WINDOW);
            sawWholeName = toEnd <= NAME_WINDOW;
        } else {
            // The whole name must be readable, but only the window is read;
            // the last byte is read on its own to prove the rest is there.
            uint64_t nameSize = uint64_t{record.nameLength} + 1;
            uint64_t windowSize = std::min<uint64_t>(nameSize, NAME_WINDOW);
            const std::string what = "the name of record " + std::to_string(i);
            if (!MayHold(archive, record.nameOffset, record.nameOffset + nameSize, what)) {
                return Result::Fail();
            }
            if (!SeekTo(archive, record.nameOffset) ||
                !ReadExactly(archive, windowSize, nameBuffer)) {
                return ReadFailure(what);
            }
            if (nameSize > windowSize) {
                char last;
                if (!SeekTo(archive, record.nameOffset + nameSize - 1) ||
                    archive.Read(&last, 1) != 1) {
                    return ReadFailure(what);
                }
            }
            name = nameBuffer.data();
            available = nameBuffer.size();
            sawWholeName = nameSize == windowSize;
        }

        const char* end = static_cast<const char*>(std::memchr(name, '\0', available));
        if (end == nullptr) {
            Reject(i, name, available,
                   sawWholeName ? WadRejectReason::NAME_NOT_TERMINATED
                                : WadRejectReason::NAME_TOO_LONG);
            continue;
        }
        uint32_t length = static_cast<uint32_t>(end - name);
        if (std::optional<WadRejectReason> reason = CheckWadPath(name, length)) {
            Reject(i, name, length, *reason);
            continue;
        }
        PlaceRecord(i, record, name, namesInTable);
    }
    return Result::Ok();
}

void WadDirectory::PlaceRecord(uint32_t index, const WadEntryRecord& record, char* name,
                               bool namesInPlace) {
    FoldName(name);
    WadDirNode* directory = root.get();
    char* fileName = name;
    if (char* separator = std::strrchr(name, '\\')) {
        // Records of one directory mostly follow each other: the directory
        // of the record before is taken again without looking up its path
        // component by component (the lookup would find that same node and
        // create nothing).
        const std::string_view path(name, static_cast<size_t>(separator - name));
        if (lastDirectory != nullptr && path == lastDirectoryPath) {
            directory = lastDirectory;
            *separator = '\0';
        } else {
            lastDirectoryPath.assign(path);
            *separator = '\0';
            directory = root->FindOrCreateDir(name, namesInPlace, dirPool, nameCopies);
            lastDirectory = directory;
        }
        fileName = separator + 1;
    }
    WadFileEntry* entry = filePool.Take();
    uint32_t nameLength = static_cast<uint32_t>(std::strlen(fileName));
    if (namesInPlace) {
        entry->name.SetInPlace(fileName, nameLength);
    } else {
        entry->name.SetCopy(fileName, nameLength, nameCopies);
    }
    entry->dataOffset = record.dataOffset;
    entry->storedSize = record.storedSize;
    entry->flags = record.flags;
    entry->unpackedSize = record.unpackedSize;
    entry->pathHash = record.pathHash;
    entry->recordOffset = WadRecordOffset(index);
    directory->AddFile(entry);
}

void WadDirectory::Reject(uint32_t index, const char* rawPath, size_t rawLength,
                          WadRejectReason reason) {
    ++rejectedCount;
    if (rejected.size() >= MAX_LISTED_REJECTIONS) {
        return;
    }
    WadRejectedRecord entry;
    entry.index = index;
    entry.rawPath.assign(rawPath, std::min<size_t>(rawLength, WadRejectedRecord::MAX_RAW_PATH));
    entry.reason = reason;
    rejected.push_back(std::move(entry));
}

void WadDirectory::Clear() {
    lastDirectory = nullptr;
    lastDirectoryPath.clear();
    root.reset();
    nameTable = std::vector<char>();
    sharedFinder.reset();
    dirPool.Reset();
    filePool.Reset();
    nameCopies.Reset();
    rejected = std::vector<WadRejectedRecord>();
    rejectedCount = 0;
}

Result WadDirectory::FirstMatch(const char* path, FindData* out) {
    if (sharedFinder == nullptr) {
        return Result::Fail();
    }
    sharedFinder->Start(*this, path);
    return FillFromSharedFinder(out);
}

Result WadDirectory::NextMatch(FindData* out) {
    if (sharedFinder == nullptr) {
        return Result::Fail();
    }
    sharedFinder->Advance();
    return FillFromSharedFinder(out);
}

Result WadDirectory::FillFromSharedFinder(FindData* out) {
    while (!sharedFinder->AtEnd()) {
        if (sharedFinder->Fill(out).Succeeded()) {
            return Result::Ok();
        }
        sharedFinder->Advance();
    }
    return Result::Fail();
}

}  // namespace vfs
