#include "vfs/edit/wad_edit.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "vfs/core/file_system_ref.h"
#include "vfs/core/host_failure.h"
#include "vfs/core/last_error.h"
#include "vfs/core/path_resolution.h"
#include "vfs/core/temporary_file.h"
#include "vfs/edit/archive_file_io.h"
#include "vfs/edit/edit_journal.h"
#include "vfs/edit/free_space.h"
#include "vfs/edit/wad_image.h"
#include "vfs/host/held_directory.h"
#include "vfs/host/host_error.h"
#include "vfs/host/host_file.h"
#include "vfs/host/host_limits.h"
#include "vfs/stream/entry_decode.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_path_hash.h"
#include "vfs/wad/wad_rejected_record.h"

namespace vfs {

namespace {

// "/" to "\" and A-Z to a-z: the key under which lookups find a path.
std::string Folded(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        } else if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return path;
}

// The path hash a lookup computes for a stored name.
uint32_t HashOfName(const std::string& name) {
    std::string path = name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return WadPathHash(path.c_str(), static_cast<uint32_t>(path.size()));
}

Result Fail(ErrorCode code, const std::string& why) {
    SetLastError(code, why);
    return Result::Fail();
}

Result TooLarge(uint64_t size) {
    return Fail(ErrorCode::TOO_LARGE, "would grow to " + std::to_string(size) +
                                          " bytes, past the 4 GiB - 1 bytes an archive can hold");
}

bool Overlaps(const FileRange& range, uint64_t end) {
    return range.begin < range.end && range.begin < end;
}

std::vector<uint8_t> FrontBytes(const WadHeader& header,
                                const std::vector<WadEntryRecord>& records) {
    std::vector<uint8_t> front(WAD_HEADER_SIZE + size_t{WAD_RECORD_SIZE} * records.size());
    header.Encode(front.data());
    for (size_t i = 0; i < records.size(); ++i) {
        records[i].Encode(front.data() + WadRecordOffset(static_cast<uint32_t>(i)));
    }
    return front;
}

// A version 2 name table for the entries `kept`: each named or renamed
// entry's name with its NUL, in record order, then the old table's bytes
// after its last NUL, where names that run to the table's end without one
// keep doing so (followed by another name they would end in it and be read).
// `positions[k]` is where entry k's name starts, -1 for a name that lay
// outside the old table.
struct BuiltNameTable {
    std::vector<uint8_t> bytes;
    std::vector<int64_t> positions;
};

BuiltNameTable BuildNameTable(const std::vector<WadEditEntry>& entries,
                              const std::vector<size_t>& kept, const WadHeader& header,
                              const std::vector<uint8_t>& old) {
    BuiltNameTable table;
    table.positions.assign(kept.size(), -1);
    std::vector<size_t> unended;
    const auto lastNul = std::find(old.rbegin(), old.rend(), uint8_t{0});
    const size_t tail = static_cast<size_t>(old.rend() - lastNul);
    for (size_t k = 0; k < kept.size(); ++k) {
        const WadEditEntry& entry = entries[kept[k]];
        const uint32_t at = entry.record.nameOffset - header.nameTableOffset;
        if (entry.newName || entry.named) {
            table.positions[k] = static_cast<int64_t>(table.bytes.size());
            table.bytes.insert(table.bytes.end(), entry.name.begin(), entry.name.end());
            table.bytes.push_back(0);
        } else if (entry.record.nameOffset < header.nameTableOffset || at >= old.size()) {
            continue;
        } else if (at >= tail) {
            unended.push_back(k);
        } else {
            // A name the reader leaves out keeps its bytes.
            const auto from = old.begin() + at;
            const auto nul = std::find(from, old.end(), uint8_t{0});
            table.positions[k] = static_cast<int64_t>(table.bytes.size());
            table.bytes.insert(table.bytes.end(), from, nul + 1);
        }
    }
    if (!unended.empty()) {
        const size_t start = table.bytes.size();
        table.bytes.insert(table.bytes.end(), old.begin() + tail, old.end());
        for (const size_t k : unended) {
            const uint32_t at = entries[kept[k]].record.nameOffset - header.nameTableOffset;
            table.positions[k] = static_cast<int64_t>(start + (at - tail));
        }
    }
    return table;
}

}  // namespace

struct WadEdit::Place {
    host::HeldDirectory directory;
    host::File file;
};

WadEdit::WadEdit() : place(std::make_unique<Place>()) {}
WadEdit::~WadEdit() = default;

Result WadEdit::Open(const char* path) {
    Close();
    ClearLastError();
    char resolved[HOST_MAX_PATH];
    if (path == nullptr || ResolvePath(resolved, sizeof resolved, path).Failed()) {
        return FailWithPathTooLong();
    }
    std::string full = resolved;
    const size_t separator = full.find_last_of("\\/");
    if (separator == std::string::npos || separator + 1 == full.size()) {
        return Fail(ErrorCode::NOT_FOUND, "is not a file");
    }
    archiveName = full.substr(separator + 1);
    std::string parent = full.substr(0, separator + 1);
    host::ClearLastError();
    if (!place->directory.Open(parent.c_str())) {
        return FailWithHostReason("cannot be opened: its directory cannot be opened");
    }
    host::ClearLastError();
    if (!place->file.OpenIn(place->directory, archiveName.c_str(),
                            host::ACCESS_READ | host::ACCESS_WRITE, host::SHARE_READ,
                            host::Disposition::OpenExisting)) {
        FailWithHostReason("cannot be opened for writing");
        Close();
        return Result::Fail();
    }
    if (EditJournal::Complete(place->directory, archiveName, place->file).Failed() ||
        Load().Failed()) {
        const ErrorReason reason = LastError();
        Close();
        SetLastError(reason.code, reason.text);
        return Result::Fail();
    }
    return Result::Ok();
}

void WadEdit::Close() {
    place->file.Close();
    place->directory.Close();
    image.reset();
    entries.clear();
    lookup.clear();
    lookupStale = true;
    changed = false;
}

Result WadEdit::Load() {
    auto loaded = std::make_unique<WadImage>();
    if (loaded->Read(place->file).Failed()) {
        return Result::Fail();
    }
    image = std::move(loaded);
    header = image->header;
    entries.assign(image->records.size(), WadEditEntry());
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].record = image->records[i];
        entries[i].name = image->names[i];
        entries[i].named = image->named[i];
    }
    lookupStale = true;
    changed = false;
    return Result::Ok();
}

int64_t WadEdit::Find(const std::string& path) {
    if (lookupStale) {
        lookup.clear();
        for (size_t i = 0; i < entries.size(); ++i) {
            // Lookups compare the path hash first: a record whose hash is
            // not its name's is never found.
            if (!entries[i].removed && entries[i].named &&
                entries[i].record.pathHash == HashOfName(entries[i].name)) {
                lookup.emplace(Folded(entries[i].name), i);
            }
        }
        lookupStale = false;
    }
    const auto found = lookup.find(Folded(path));
    return found == lookup.end() ? -1 : static_cast<int64_t>(found->second);
}

Result WadEdit::ReadStored(const WadEditEntry& entry, std::vector<uint8_t>& out) {
    if (entry.newData) {
        out = entry.data;
        return Result::Ok();
    }
    out.resize(entry.record.storedSize);
    return ReadFileAt(place->file, entry.record.dataOffset, out.data(), out.size());
}

Result WadEdit::ReadContent(size_t index, std::vector<uint8_t>& out) {
    ClearLastError();
    if (index >= entries.size()) {
        return Fail(ErrorCode::NOT_FOUND, "no such entry");
    }
    const WadEditEntry& entry = entries[index];
    const WadEntryRecord& record = entry.record;
    if (!entry.newData &&
        CheckWadRecordData(record.flags, record.dataOffset, record.storedSize, record.unpackedSize,
                           static_cast<int64_t>(image->fileSize))
            .Failed()) {
        return Result::Fail();
    }
    const WadCoding coding = WadCodingOf(record.flags);
    if (coding == WadCoding::REFUSED) {
        return Fail(ErrorCode::REFUSED, "refused by the archive");
    }
    if (coding == WadCoding::STORED) {
        return ReadStored(entry, out);
    }
    std::vector<uint8_t> stored;
    if (!CanHoldEntryBlock(coding, record.storedSize, record.unpackedSize) ||
        ReadStored(entry, stored).Failed()) {
        return Result::Fail();
    }
    out.assign(record.unpackedSize, 0);
    if (!DecodeEntryBlock(coding, stored.data(), static_cast<int32_t>(stored.size()), out.data(),
                          static_cast<int32_t>(out.size()))) {
        out.clear();
        return Result::Fail();
    }
    return Result::Ok();
}

void WadEdit::Remove(size_t index) {
    if (index < entries.size() && !entries[index].removed) {
        entries[index].removed = true;
        lookupStale = true;
        changed = true;
    }
}

void WadEdit::Rename(size_t index, std::string name) {
    if (index >= entries.size()) {
        return;
    }
    WadEditEntry& entry = entries[index];
    entry.record.pathHash = HashOfName(name);
    // Named as the reader will take it: a path it cannot place in a tree
    // is stored as given, but left out of lookups as the reader leaves it out.
    entry.named = name.size() <= WAD_MAX_PATH_LENGTH &&
                  !CheckWadPath(name.data(), static_cast<uint32_t>(name.size())).has_value();
    entry.name = std::move(name);
    entry.newName = true;
    lookupStale = true;
    changed = true;
}

void WadEdit::SetData(size_t index, std::vector<uint8_t> stored, uint32_t flags,
                      uint32_t unpackedSize) {
    if (index >= entries.size()) {
        return;
    }
    WadEditEntry& entry = entries[index];
    entry.record.storedSize = static_cast<uint32_t>(stored.size());
    entry.record.flags = flags;
    entry.record.unpackedSize = unpackedSize;
    entry.data = std::move(stored);
    entry.newData = true;
    changed = true;
}

void WadEdit::Add(std::string name, std::vector<uint8_t> stored, uint32_t flags,
                  uint32_t unpackedSize) {
    WadEditEntry entry;
    entries.push_back(std::move(entry));
    Rename(entries.size() - 1, std::move(name));
    SetData(entries.size() - 1, std::move(stored), flags, unpackedSize);
}

Result WadEdit::Commit() {
    ClearLastError();
    stats = WadEditStats();
    if (!place->file.IsOpen()) {
        return Fail(ErrorCode::UNSUPPORTED, "is not open for editing");
    }
    if (!changed) {
        stats.archiveSize = image->fileSize;
        return Result::Ok();
    }
    std::vector<size_t> kept;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].removed) {
            kept.push_back(i);
        }
    }
    // The header and the new record table take the front of the file;
    // whatever of the old archive the new one still refers to there moves
    // out of the way. Everything new goes where neither the old archive
    // nor the front refers to anything, so the old archive stays whole
    // until the switch.
    const uint64_t frontEnd = WAD_HEADER_SIZE + uint64_t{WAD_RECORD_SIZE} * kept.size();
    if (frontEnd > WAD_MAX_ARCHIVE_SIZE) {
        return TooLarge(frontEnd);
    }
    std::vector<FileRange> used = image->UsedRanges();
    used.push_back({0, frontEnd});
    FreeSpace space(used, image->fileSize);

    struct Piece {
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    std::vector<Piece> pieces;
    const auto moveOut = [&](const FileRange& range, uint64_t* offset) -> Result {
        Piece piece{space.Take(range.end - range.begin), {}};
        piece.bytes.resize(range.end - range.begin);
        if (ReadFileAt(place->file, range.begin, piece.bytes.data(), piece.bytes.size()).Failed()) {
            return Result::Fail();
        }
        *offset = piece.offset;
        pieces.push_back(std::move(piece));
        return Result::Ok();
    };

    WadHeader newHeader = header;
    newHeader.entryCount = static_cast<uint32_t>(kept.size());
    std::vector<WadEntryRecord> records(kept.size());
    std::map<std::pair<uint64_t, uint64_t>, uint64_t> movedData;
    for (size_t k = 0; k < kept.size(); ++k) {
        WadEditEntry& entry = entries[kept[k]];
        WadEntryRecord& record = records[k];
        record = entry.record;
        if (entry.newData) {
            record.dataOffset = 0;
            if (!entry.data.empty()) {
                record.dataOffset = static_cast<uint32_t>(space.Take(entry.data.size()));
                pieces.push_back({record.dataOffset, entry.data});
            }
            continue;
        }
        const FileRange data = WadImage::DataRange(record);
        // Data running past the end of the file stays where it is: it
        // reads as before, past the end, whatever the front now holds.
        if (!Overlaps(data, frontEnd) || data.end > image->fileSize) {
            continue;
        }
        const auto key = std::make_pair(data.begin, data.end);
        const auto moved = movedData.find(key);
        uint64_t offset = 0;
        if (moved != movedData.end()) {
            offset = moved->second;
        } else if (moveOut(data, &offset).Failed()) {
            return Result::Fail();
        } else {
            movedData.emplace(key, offset);
        }
        record.dataOffset = static_cast<uint32_t>(offset);
    }

    if (!header.NamesInTable()) {
        for (size_t k = 0; k < kept.size(); ++k) {
            const WadEditEntry& entry = entries[kept[k]];
            WadEntryRecord& record = records[k];
            if (entry.newName) {
                Piece piece{space.Take(entry.name.size() + 1), {}};
                piece.bytes.assign(entry.name.begin(), entry.name.end());
                piece.bytes.push_back(0);
                record.nameOffset = static_cast<uint32_t>(piece.offset);
                record.nameLength = static_cast<uint32_t>(entry.name.size());
                pieces.push_back(std::move(piece));
            } else if (Overlaps(WadImage::NameRange(record), frontEnd)) {
                uint64_t offset = 0;
                if (moveOut(WadImage::NameRange(record), &offset).Failed()) {
                    return Result::Fail();
                }
                record.nameOffset = static_cast<uint32_t>(offset);
            }
        }
    } else {
        const FileRange table{header.nameTableOffset,
                              uint64_t{header.nameTableOffset} + header.nameTableSize};
        bool renamed = false;
        uint64_t extra = 0;
        for (const size_t i : kept) {
            if (entries[i].newName) {
                renamed = true;
                extra += entries[i].name.size() + 1;
            }
        }
        const bool tableInFront = Overlaps(table, frontEnd);
        // A table whose last name runs to its end without a NUL cannot grow:
        // the name would end in the first new one.
        const bool ended = !image->nameTable.empty() && image->nameTable.back() == 0;
        if (renamed && !tableInFront && ended && space.TakeAt(table.end, extra)) {
            // The table grows where it ends: the names of the others stay.
            Piece piece{table.end, {}};
            for (size_t k = 0; k < kept.size(); ++k) {
                const WadEditEntry& entry = entries[kept[k]];
                if (entry.newName) {
                    records[k].nameOffset = static_cast<uint32_t>(table.end + piece.bytes.size());
                    piece.bytes.insert(piece.bytes.end(), entry.name.begin(), entry.name.end());
                    piece.bytes.push_back(0);
                }
            }
            newHeader.nameTableSize = static_cast<uint32_t>(header.nameTableSize + extra);
            pieces.push_back(std::move(piece));
        } else if (renamed || tableInFront) {
            // A new table of every name, elsewhere.
            BuiltNameTable built = BuildNameTable(entries, kept, header, image->nameTable);
            const uint64_t tableOffset = space.Take(built.bytes.size());
            for (size_t k = 0; k < kept.size(); ++k) {
                if (built.positions[k] >= 0) {
                    records[k].nameOffset = static_cast<uint32_t>(tableOffset + built.positions[k]);
                }
            }
            newHeader.nameTableOffset = static_cast<uint32_t>(tableOffset);
            newHeader.nameTableSize = static_cast<uint32_t>(built.bytes.size());
            pieces.push_back({tableOffset, std::move(built.bytes)});
        }
        // A name that lay outside the old table must lie outside the new one,
        // or the reader would take bytes of the table for it: offset 0, in
        // the header, is outside every table.
        const uint64_t newTableEnd = uint64_t{newHeader.nameTableOffset} + newHeader.nameTableSize;
        for (size_t k = 0; k < kept.size(); ++k) {
            const WadEditEntry& entry = entries[kept[k]];
            const uint32_t offset = entry.record.nameOffset;
            const bool outsideOld =
                offset < header.nameTableOffset ||
                uint64_t{offset} >= uint64_t{header.nameTableOffset} + image->nameTable.size();
            if (!entry.newName && !entry.named && outsideOld && records[k].nameOffset == offset &&
                offset >= newHeader.nameTableOffset && offset < newTableEnd) {
                records[k].nameOffset = 0;
            }
        }
    }
    if (space.End() > WAD_MAX_ARCHIVE_SIZE) {
        return TooLarge(space.End());
    }

    // New bytes first, on the disk before anything refers to them.
    std::sort(pieces.begin(), pieces.end(),
              [](const Piece& a, const Piece& b) { return a.offset < b.offset; });
    for (const Piece& piece : pieces) {
        if (!piece.bytes.empty() &&
            WriteFileAt(place->file, piece.offset, piece.bytes.data(), piece.bytes.size())
                .Failed()) {
            return Result::Fail();
        }
        stats.bytesWritten += piece.bytes.size();
    }
    if (!pieces.empty() && FlushFile(place->file).Failed()) {
        return Result::Fail();
    }

    // Then the switch: one write of the bytes of the front that change.
    const std::vector<uint8_t> front = FrontBytes(newHeader, records);
    std::vector<uint8_t> before(front.size());
    const int64_t got = ReadFileUpTo(place->file, 0, before.data(), before.size());
    if (got < 0) {
        return Result::Fail();
    }
    before.resize(static_cast<size_t>(got));
    size_t first = 0;
    while (first < front.size() && first < before.size() && front[first] == before[first]) {
        ++first;
    }
    size_t last = front.size();
    while (last > first && last <= before.size() && front[last - 1] == before[last - 1]) {
        --last;
    }
    if (first < last) {
        const std::vector<uint8_t> after(front.begin() + first, front.begin() + last);
        const std::vector<uint8_t> old(before.begin() + std::min(first, before.size()),
                                       before.begin() + std::min(last, before.size()));
        if (EditJournal::Write(place->directory, archiveName, first, old, after).Failed()) {
            return Result::Fail();
        }
        stats.journalBytes = after.size() + old.size();
        if (WriteFileAt(place->file, first, after.data(), after.size()).Failed() ||
            FlushFile(place->file).Failed()) {
            // The journal stays: the next edit finds out where the switch
            // stands and completes it.
            return Result::Fail();
        }
        stats.bytesWritten += after.size();
        if (EditJournal::Remove(place->directory, archiveName).Failed()) {
            return Result::Fail();
        }
    }
    if (Load().Failed()) {
        return Result::Fail();
    }
    stats.archiveSize = image->fileSize;
    return Result::Ok();
}

Result WadEdit::CommitCopy() {
    ClearLastError();
    stats = WadEditStats();
    if (!place->file.IsOpen()) {
        return Fail(ErrorCode::UNSUPPORTED, "is not open for editing");
    }
    std::vector<size_t> kept;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].removed) {
            kept.push_back(i);
        }
    }
    // The front, the names, then the data in record order; data two
    // records share stays shared, and data running past the end of the
    // file is placed past the end of the new one, so that it reads as
    // before.
    const bool inTable = header.NamesInTable();
    WadHeader newHeader = header;
    newHeader.entryCount = static_cast<uint32_t>(kept.size());
    std::vector<WadEntryRecord> records(kept.size());
    uint64_t at = WAD_HEADER_SIZE + uint64_t{WAD_RECORD_SIZE} * kept.size();
    std::vector<uint8_t> names;
    const uint64_t namesAt = at;
    if (inTable) {
        BuiltNameTable built = BuildNameTable(entries, kept, header, image->nameTable);
        for (size_t k = 0; k < kept.size(); ++k) {
            records[k] = entries[kept[k]].record;
            // Outside the table: put past every name, so it stays out.
            records[k].nameOffset = built.positions[k] >= 0
                                        ? static_cast<uint32_t>(namesAt + built.positions[k])
                                        : UINT32_MAX;
        }
        names = std::move(built.bytes);
    }
    for (size_t k = 0; k < kept.size() && !inTable; ++k) {
        const WadEditEntry& entry = entries[kept[k]];
        records[k] = entry.record;
        std::vector<uint8_t> name;
        if (entry.newName || entry.named) {
            name.assign(entry.name.begin(), entry.name.end());
            name.push_back(0);
        } else {
            name.resize(uint64_t{entry.record.nameLength} + 1);
            if (ReadFileAt(place->file, entry.record.nameOffset, name.data(), name.size())
                    .Failed()) {
                return Result::Fail();
            }
        }
        records[k].nameOffset = static_cast<uint32_t>(namesAt + names.size());
        records[k].nameLength = static_cast<uint32_t>(name.size() - 1);
        names.insert(names.end(), name.begin(), name.end());
    }
    at += names.size();
    if (inTable) {
        newHeader.nameTableOffset = static_cast<uint32_t>(namesAt);
        newHeader.nameTableSize = static_cast<uint32_t>(names.size());
    }
    std::map<std::pair<uint64_t, uint64_t>, uint64_t> placed;
    std::vector<size_t> order;  // entries whose data is written, in order
    std::vector<size_t> pastEnd;
    for (size_t k = 0; k < kept.size(); ++k) {
        const WadEditEntry& entry = entries[kept[k]];
        if (entry.newData) {
            records[k].dataOffset = static_cast<uint32_t>(entry.data.empty() ? 0 : at);
            at += entry.data.size();
            order.push_back(k);
            continue;
        }
        const FileRange data = WadImage::DataRange(entry.record);
        if (data.end > image->fileSize) {
            pastEnd.push_back(k);
            continue;
        }
        if (data.begin == data.end) {
            records[k].dataOffset = 0;
            continue;
        }
        const auto key = std::make_pair(data.begin, data.end);
        const auto found = placed.find(key);
        if (found != placed.end()) {
            records[k].dataOffset = static_cast<uint32_t>(found->second);
            continue;
        }
        placed.emplace(key, at);
        records[k].dataOffset = static_cast<uint32_t>(at);
        at += data.end - data.begin;
        order.push_back(k);
    }
    if (at > WAD_MAX_ARCHIVE_SIZE) {
        return TooLarge(at);
    }
    for (const size_t k : pastEnd) {
        records[k].dataOffset = static_cast<uint32_t>(at);
    }
    if (inTable && names.empty()) {
        newHeader.nameTableOffset = header.nameTableOffset;
    }

    FileSystemRef where;
    TemporaryFile copy;
    host::ClearLastError();
    if (where.OpenHeldDirectory(place->directory.Path().c_str()).Failed() ||
        copy.Create(where, archiveName).Failed()) {
        return Result::Fail();
    }
    const auto put = [&](const uint8_t* bytes, uint64_t size) -> Result {
        constexpr uint64_t kPiece = uint64_t{1} << 24;
        for (uint64_t done = 0; done < size;) {
            const auto count = static_cast<int32_t>(std::min(size - done, kPiece));
            host::ClearLastError();
            if (copy.Stream().Write(bytes + done, count) != count) {
                return FailWithHostReason("cannot be written");
            }
            done += static_cast<uint64_t>(count);
        }
        stats.bytesWritten += size;
        return Result::Ok();
    };
    // Names of records the reader leaves out that pointed past the table
    // keep pointing past it.
    for (WadEntryRecord& record : records) {
        if (inTable && record.nameOffset == UINT32_MAX) {
            record.nameOffset = static_cast<uint32_t>(std::min<uint64_t>(at, UINT32_MAX));
        }
    }
    const std::vector<uint8_t> front = FrontBytes(newHeader, records);
    if (put(front.data(), front.size()).Failed() || put(names.data(), names.size()).Failed()) {
        return Result::Fail();
    }
    std::vector<uint8_t> bytes;
    for (const size_t k : order) {
        const WadEditEntry& entry = entries[kept[k]];
        if (ReadStored(entry, bytes).Failed() || put(bytes.data(), bytes.size()).Failed()) {
            return Result::Fail();
        }
    }
    host::ClearLastError();
    if (copy.Stream().Flush().Failed()) {
        return FailWithHostReason("cannot be written to the disk");
    }
    // The old file is let go first: a host may not rename over an open one.
    place->file.Close();
    if (copy.PutInPlace(true).Failed()) {
        const ErrorReason reason = LastError();
        place->file.OpenIn(place->directory, archiveName.c_str(),
                           host::ACCESS_READ | host::ACCESS_WRITE, host::SHARE_READ,
                           host::Disposition::OpenExisting);
        SetLastError(reason.code, reason.text);
        return Result::Fail();
    }
    place->directory.Flush();
    host::ClearLastError();
    if (!place->file.OpenIn(place->directory, archiveName.c_str(),
                            host::ACCESS_READ | host::ACCESS_WRITE, host::SHARE_READ,
                            host::Disposition::OpenExisting)) {
        return FailWithHostReason("cannot be opened for writing");
    }
    if (Load().Failed()) {
        return Result::Fail();
    }
    stats.archiveSize = image->fileSize;
    return Result::Ok();
}

}  // namespace vfs
