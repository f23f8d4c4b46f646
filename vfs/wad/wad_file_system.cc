#include "vfs/wad/wad_file_system.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/path_resolution.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_error.h"
#include "vfs/host/host_limits.h"
#include "vfs/stream/locked_stream.h"
#include "vfs/stream/lz_entry_stream.h"
#include "vfs/stream/range_stream.h"
#include "vfs/stream/win32_file_stream.h"
#include "vfs/stream/zlib_entry_stream.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_finder.h"

namespace vfs {

namespace {

// Write, share-write and create: an archive is read-only.
constexpr uint32_t kWriteFlags = 0x40000012u;
constexpr uint32_t kArchiveOpenFlags = OPEN_READ | OPEN_SHARE_READ;

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

// Sets why `entryHash`, a record's path hash, keeps lookups of a path whose
// hash is `pathHash` from finding the record.
Result HashMismatch(uint32_t entryHash, uint32_t pathHash) {
    SetLastError(ErrorCode::HASH_MISMATCH,
                 "cannot be found by its path: its record's path hash (" + Hex(entryHash) +
                     ") is not the hash of its path (" + Hex(pathHash) +
                     "), and lookups compare the hash first, so the game cannot find it either");
    return Result::Fail();
}

// Sets why an exact lookup that `finder` ran found no file, and fails.
Result LookupFailure(const WadFinder& finder) {
    if (finder.MatchedDirectory() != nullptr) {
        if (finder.FileOfTheName() != nullptr) {
            SetLastError(ErrorCode::IS_DIRECTORY,
                         "cannot be opened: its path names a directory of the archive as well, "
                         "and lookups find the directory first");
        } else {
            SetLastError(ErrorCode::IS_DIRECTORY, "is a directory");
        }
    } else if (const WadFileEntry* named = finder.FileOfTheName()) {
        return HashMismatch(named->pathHash, finder.PathHash());
    } else {
        SetLastError(ErrorCode::NOT_FOUND, "no such entry");
    }
    return Result::Fail();
}

}  // namespace

WadFileSystem::~WadFileSystem() {
    Close();
}

Result WadFileSystem::Open(const char* path, uint32_t flags) {
    Close();
    ClearLastError();
    if (path == nullptr) {
        return Refuse(ErrorCode::NOT_FOUND, "cannot be opened: no path was given");
    }

    VfsString working(path);
    for (uint32_t i = 0; i < working.length; ++i) {
        if (working.data[i] == '/') {
            working.data[i] = '\\';
        }
    }
    int32_t separator = working.Find(ARCHIVE_SEPARATOR);
    if (separator >= 0) {
        innerRoot.AssignView(working.Mid(static_cast<uint32_t>(separator) + 1));
        if (innerRoot.data[innerRoot.length - 1] != '\\') {
            innerRoot.Append('\\');
        }
        working.SetLength(static_cast<uint32_t>(separator));
    }

    char fullPath[HOST_MAX_PATH];
    if (ResolvePath(fullPath, sizeof(fullPath), working.c_str()).Failed()) {
        return Refuse(ErrorCode::PATH_TOO_LONG, "cannot be opened: its path is too long");
    }
    // Refuses a directory, and a path that names nothing (whose attributes
    // are all ones).
    const uint32_t attributes = host::GetPathAttributes(fullPath);
    if (attributes == host::INVALID_ATTRIBUTES) {
        return Refuse(ErrorCode::NOT_FOUND, "cannot be opened: no such file");
    }
    if ((attributes & host::ATTRIBUTE_DIRECTORY) != 0) {
        return Refuse(ErrorCode::IS_DIRECTORY, "is a directory, not a WAD archive");
    }
    uint32_t openFlags = kArchiveOpenFlags | (flags & OPEN_BUFFERED);
    host::ClearLastError();
    if (archive.OpenPath(fullPath, openFlags).Failed()) {
        return Refuse(ErrorCode::HOST_ERROR, "cannot be read" + host::LastErrorSuffix());
    }
    hostStream = archive.Get();
    archive.Set(new LockedStream());
    // The size the entries are checked against, taken once: a file that
    // shrinks later makes its entries read short, which their readers see.
    archiveSize = archive.GetSize64();
    if (archiveSize > static_cast<int64_t>(WAD_MAX_ARCHIVE_SIZE)) {
        return Refuse(ErrorCode::TOO_LARGE,
                      "is too large to be a WAD archive: an archive holds at most 4 GiB - 1 "
                      "bytes, and this file has " +
                          std::to_string(archiveSize) + " bytes");
    }

    uint8_t bytes[WAD_HEADER_SIZE];
    host::ClearLastError();
    int32_t got = archive.Read(bytes, WAD_HEADER_SIZE);
    if (got < 0) {
        return Refuse(ErrorCode::HOST_ERROR, "cannot be read" + host::LastErrorSuffix());
    }
    if (WadHeader::Parse(bytes, static_cast<uint32_t>(got), &header).Failed()) {
        return Refuse(LastError().code, LastError().text);
    }
    if (directory.Load(archive, header.NamesInTable()).Failed()) {
        return Refuse(LastError().code, LastError().text);
    }

    if (innerRoot.length > 1) {
        FindData scratch;
        if (directory.FirstMatch(innerRoot.c_str(), &scratch).Failed() ||
            scratch.attributes != FILE_ATTRIBUTE_DIRECTORY) {
            std::string inner(innerRoot.c_str() + 1, innerRoot.length - 2);
            return Refuse(ErrorCode::NOT_FOUND, "has no directory " + inner);
        }
    }

    rootPath.Assign(fullPath);
    rootPath.Append('*');
    rootPath.Append(innerRoot);
    return Result::Ok();
}

Result WadFileSystem::Refuse(ErrorCode code, std::string why) {
    Close();
    SetLastError(code, std::move(why));
    return Result::Fail();
}

void WadFileSystem::Close() {
    directory.Clear();
    archive.Reset();
    innerRoot.Assign(static_cast<const char*>(nullptr));
    findPattern.Assign(static_cast<const char*>(nullptr));
    rootPath.Assign(static_cast<const char*>(nullptr));
    hostStream = nullptr;
    archiveSize = -1;
}

void WadFileSystem::CutInnerRoot(FindData* out) const {
    uint32_t n = innerRoot.length;
    if (n == 0) {
        return;
    }
    // The reported path begins with the inner root without its leading "\".
    size_t cut = n - 1;
    size_t total = std::strlen(out->path);
    if (cut > total) {
        cut = total;
    }
    std::memmove(out->path, out->path + cut, total - cut + 1);
    size_t nameOffset = static_cast<size_t>(out->name - out->path);
    out->name = out->path + (nameOffset >= cut ? nameOffset - cut : 0);
}

Result WadFileSystem::FindFirst(const char* pattern, FindData* out) {
    if (hostStream == nullptr || pattern == nullptr || pattern[0] == '\0') {
        return Result::Fail();
    }
    if (PrepareFindData(out, pattern).Failed()) {
        return Result::Fail();
    }
    findPattern.Assign(innerRoot);
    findPattern.Append(pattern);
    if (directory.FirstMatch(findPattern.c_str(), out).Failed()) {
        return Result::Fail();
    }
    CutInnerRoot(out);
    return Result::Ok();
}

bool WadFileSystem::ListsEachFileNameOnce(const char* directoryPath) {
    if (hostStream == nullptr || directoryPath == nullptr) {
        return false;
    }
    VfsString pattern(innerRoot);
    pattern.Append(directoryPath);
    pattern.Append("*");
    WadFinder finder;
    finder.Start(directory, pattern.c_str());
    return finder.Directory() != nullptr && !finder.Directory()->FileNamesRepeat();
}

Result WadFileSystem::FindNext(FindData* out) {
    if (hostStream == nullptr) {
        return Result::Fail();
    }
    if (directory.NextMatch(out).Failed()) {
        return Result::Fail();
    }
    CutInnerRoot(out);
    return Result::Ok();
}

Result WadFileSystem::OpenRecord(const char* path, StreamRef& reader, WadEntryRecord* record,
                                 uint32_t* recordOffset, const WadFileEntry** found) {
    VfsString lookup(innerRoot);
    lookup.Append(path);
    WadFinder finder;
    finder.Start(directory, lookup.c_str());
    if (finder.MatchedFile() == nullptr) {
        return LookupFailure(finder);
    }
    // What opening needs of the record was kept when the archive was opened.
    const WadFileEntry& entry = *finder.MatchedFile();
    *record = WadEntryRecord();
    record->pathHash = entry.pathHash;
    record->dataOffset = entry.dataOffset;
    record->storedSize = entry.storedSize;
    record->flags = entry.flags;
    record->unpackedSize = entry.unpackedSize;
    if (recordOffset != nullptr) {
        *recordOffset = entry.recordOffset;
    }
    if (found != nullptr) {
        *found = &entry;
    }
    // The host stream, then a private position over it.
    reader.Set(hostStream);
    reader.Set(new LockedStream());
    return Result::Ok();
}

Result WadFileSystem::CheckRecord(const WadFileEntry& entry) const {
    return CheckWadRecordData(entry.flags, entry.dataOffset, entry.storedSize, entry.unpackedSize,
                              archiveSize);
}

Result WadFileSystem::CheckEntry(const char* path, const WadFileEntry& entry) {
    ClearLastError();
    if (hostStream == nullptr || path == nullptr) {
        return Result::Fail();
    }
    // The lookup that opening the path makes.
    VfsString lookup(innerRoot);
    lookup.Append(path);
    WadFinder finder;
    finder.Start(directory, lookup.c_str());
    if (finder.MatchedFile() == &entry) {
        return CheckRecord(entry);
    }
    if (finder.MatchedDirectory() != nullptr || finder.MatchedFile() == nullptr) {
        return LookupFailure(finder);
    }
    if (entry.pathHash != finder.PathHash()) {
        return HashMismatch(entry.pathHash, finder.PathHash());
    }
    // Of the records of one path whose hash matches, lookups serve the first.
    SetLastError(ErrorCode::HIDDEN, "hidden by an earlier entry of the same path");
    return Result::Fail();
}

Result WadFileSystem::ReadRecord(const char* path, WadEntryRecord* record) {
    ClearLastError();
    if (hostStream == nullptr || path == nullptr) {
        return Result::Fail();
    }
    StreamRef reader;
    uint32_t recordOffset = 0;
    if (OpenRecord(path, reader, record, &recordOffset).Failed()) {
        return Result::Fail();
    }
    // The tree keeps only what opening needs; the name fields and the
    // reserved bytes are read again from the record table.
    uint8_t bytes[WAD_RECORD_SIZE];
    if (reader.Seek64(recordOffset, SEEK_FROM_START) != recordOffset ||
        reader.Read(bytes, WAD_RECORD_SIZE) != static_cast<int32_t>(WAD_RECORD_SIZE)) {
        return Result::Fail();
    }
    const WadEntryRecord stored = WadEntryRecord::Decode(bytes);
    record->nameOffset = stored.nameOffset;
    record->nameLength = stored.nameLength;
    std::memcpy(record->reserved, stored.reserved, sizeof(record->reserved));
    return Result::Ok();
}

Result WadFileSystem::ReadRecordTable(std::vector<WadEntryRecord>* out) {
    ClearLastError();
    out->clear();
    if (hostStream == nullptr) {
        return Result::Fail();
    }
    // A private position over the archive file opened at Open. Loading
    // checked that the table lies within the file.
    StreamRef reader;
    reader.Set(hostStream);
    reader.Set(new LockedStream());
    const uint32_t count = header.entryCount;
    out->reserve(count);
    constexpr uint32_t RECORDS_PER_READ = 4096;
    std::vector<uint8_t> bytes(size_t{RECORDS_PER_READ} * WAD_RECORD_SIZE);
    host::ClearLastError();
    bool read = reader.Seek64(WAD_HEADER_SIZE, SEEK_FROM_START) == WAD_HEADER_SIZE;
    for (uint32_t first = 0; read && first < count; first += RECORDS_PER_READ) {
        const uint32_t n = std::min(RECORDS_PER_READ, count - first);
        const uint32_t want = n * WAD_RECORD_SIZE;
        for (uint32_t done = 0; read && done < want;) {
            const int32_t got = reader.Read(bytes.data() + done, static_cast<int32_t>(want - done));
            read = got > 0;
            done += read ? static_cast<uint32_t>(got) : 0;
        }
        for (uint32_t i = 0; read && i < n; ++i) {
            out->push_back(WadEntryRecord::Decode(bytes.data() + size_t{i} * WAD_RECORD_SIZE));
        }
    }
    if (!read) {
        out->clear();
        const std::string why = host::LastErrorSuffix();
        SetLastError(ErrorCode::HOST_ERROR,
                     "its record table cannot be read" + (why.empty() ? " in full" : why));
        return Result::Fail();
    }
    return Result::Ok();
}

Result WadFileSystem::GetArchiveIdentity(FileIdentity* out) {
    const auto* file = dynamic_cast<const Win32FileStream*>(hostStream);
    return file == nullptr ? Result::Fail() : file->GetIdentity(out);
}

bool WadFileSystem::IsRefused(const char* path) {
    WadEntryRecord record;
    StreamRef reader;
    return hostStream != nullptr && path != nullptr &&
           OpenRecord(path, reader, &record).Succeeded() &&
           WadCodingOf(record.flags) == WadCoding::REFUSED;
}

Result WadFileSystem::OpenFile(StreamRef& out, const char* path, uint32_t flags,
                               uint32_t /*reserved*/) {
    ClearLastError();
    if (hostStream == nullptr || path == nullptr || (flags & kWriteFlags) != 0 ||
        out.Get() != nullptr) {
        return Result::Fail();
    }
    WadEntryRecord record;
    const WadFileEntry* entry = nullptr;
    if (OpenRecord(path, out, &record, nullptr, &entry).Failed()) {
        return Result::Fail();
    }
    // An entry whose record does not let it open (a refused one among them)
    // leaves nothing in the handle, so that a caller that ignores the result
    // cannot read its stored bytes.
    if (CheckRecord(*entry).Failed()) {
        out.Reset();
        return Result::Fail();
    }
    const int64_t dataOffset = record.dataOffset;
    host::ClearLastError();
    if (out.Seek64(dataOffset, SEEK_FROM_START) != dataOffset) {
        const std::string why = host::LastErrorText();
        SetLastError(ErrorCode::HOST_ERROR,
                     "cannot be read: " + (why.empty() ? std::string("the archive file cannot be "
                                                                     "positioned")
                                                       : why));
        out.Reset();
        return Result::Fail();
    }
    auto* range = new RangeStream();
    if (range->Init(record.storedSize, dataOffset).Failed()) {
        delete range;
        out.Reset();
        return Result::Fail();
    }
    out.Set(range);

    MemoryStream* decoded = nullptr;
    switch (WadCodingOf(record.flags)) {
        case WadCoding::ZLIB:
            decoded = new ZlibEntryStream();
            break;
        case WadCoding::LZ:
            decoded = new LzEntryStream();
            break;
        case WadCoding::STORED:
        case WadCoding::REFUSED:  // CheckRecord let no refused entry through
            return Result::Ok();
    }
    if (decoded->Init(static_cast<int32_t>(record.unpackedSize)).Failed()) {
        SetLastError(ErrorCode::TOO_LARGE, "too large to hold in memory (" +
                                               std::to_string(record.unpackedSize) + " bytes)");
        delete decoded;
        out.Reset();
        return Result::Fail();
    }
    // Setting the decoded stream decodes the whole entry; an entry that does
    // not decode to exactly its unpacked size does not open.
    out.Set(decoded);
    if (decoded->GetStatus().Failed()) {
        // The decoder, or the read beneath it, said why.
        if (LastError().code == ErrorCode::NONE) {
            SetLastError(ErrorCode::NOT_DECODABLE, "does not decode");
        }
        out.Reset();
        return Result::Fail();
    }
    return Result::Ok();
}

const std::vector<WadRejectedRecord>* WadFileSystem::GetRejectedRecords() {
    return hostStream == nullptr ? nullptr : &directory.RejectedRecords();
}

namespace {

// What the operations that would change the archive answer.
Result ReadOnly() {
    SetLastError(ErrorCode::UNSUPPORTED, "cannot be changed: the archive is read-only");
    return Result::Fail();
}

}  // namespace

Result WadFileSystem::SetAttributes(const char*, uint32_t) {
    return ReadOnly();
}

Result WadFileSystem::CreateDirectory(const char*) {
    return Result::Ok();
}

Result WadFileSystem::Delete(const char*) {
    return ReadOnly();
}

Result WadFileSystem::Move(const char*, const char*) {
    return ReadOnly();
}

}  // namespace vfs
