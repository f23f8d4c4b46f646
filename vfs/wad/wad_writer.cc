#include "vfs/wad/wad_writer.h"

#include <cstring>
#include <utility>

#include "vfs/codec/lz_codec.h"
#include "vfs/codec/zlib_codec.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_header.h"
#include "vfs/wad/wad_path_hash.h"

namespace vfs {

namespace {

// Offsets and sizes must stay within what a reader's signed 32-bit stream
// positions reach.
constexpr uint64_t MAX_ARCHIVE_SIZE = INT32_MAX;

// `size` bytes LZ-coded into `out`; false when the LZ header cannot record
// the size or the codec fails.
bool LzCode(const uint8_t* bytes, size_t size, std::vector<uint8_t>& out) {
    if (size > static_cast<size_t>(LZ_MAX_SIZE)) {
        return false;
    }
    int32_t length = static_cast<int32_t>(size);
    out.resize(static_cast<size_t>(LzCodec::GetMaxCompressedSize(length)));
    // The encoder copies literals with memcpy even when there are none, so
    // it must not be handed a null source for empty input.
    static const uint8_t nothing = 0;
    LzCodec codec;
    int32_t coded = codec.Compress(out.data(), size == 0 ? &nothing : bytes, length, nullptr);
    if (coded <= 0) {
        return false;
    }
    out.resize(static_cast<size_t>(coded));
    return true;
}

// `size` bytes zlib-framed into `out`; false when the codec declines (the
// block would not be shorter than the bytes).
bool ZlibCode(const uint8_t* bytes, size_t size, std::vector<uint8_t>& out) {
    if (size > MAX_ARCHIVE_SIZE) {
        return false;
    }
    int32_t length = static_cast<int32_t>(size);
    out.resize(size);
    ZlibCodec codec;
    int32_t coded = codec.Compress(out.data(), bytes, length, nullptr);
    if (coded <= 0) {
        return false;
    }
    out.resize(static_cast<size_t>(coded));
    return true;
}

uint32_t HashAsLookedUp(const std::string& path) {
    std::string lookedUp = path;
    for (char& ch : lookedUp) {
        if (ch == '/') {
            ch = '\\';
        }
    }
    return WadPathHash(lookedUp.data(), static_cast<uint32_t>(lookedUp.size()));
}

}  // namespace

WadWriter::WadWriter(uint32_t archiveVersion)
    : version(archiveVersion), archiveSize(WAD_HEADER_SIZE) {}

Result WadWriter::AddFile(const char* path, const uint8_t* bytes, size_t size, WadCoding coding) {
    if (size > MAX_ARCHIVE_SIZE) {
        return Result::Fail();
    }
    Entry entry;
    if (coding == WadCoding::LZ && LzCode(bytes, size, entry.stored)) {
        entry.flags = WAD_FLAG_LZ;
    } else if (coding == WadCoding::ZLIB && ZlibCode(bytes, size, entry.stored)) {
        entry.flags = WAD_FLAG_ZLIB;
    } else {
        entry.stored.assign(bytes, bytes + size);
        entry.flags = 0;
    }
    entry.path = path == nullptr ? "" : path;
    entry.unpackedSize = static_cast<uint32_t>(size);
    return Add(std::move(entry));
}

Result WadWriter::AddRawEntry(const char* path, const uint8_t* stored, size_t storedSize,
                              uint32_t flags, uint32_t unpackedSize) {
    if (storedSize > MAX_ARCHIVE_SIZE) {
        return Result::Fail();
    }
    Entry entry;
    entry.path = path == nullptr ? "" : path;
    entry.stored.assign(stored, stored + storedSize);
    entry.flags = flags;
    entry.unpackedSize = unpackedSize;
    return Add(std::move(entry));
}

Result WadWriter::Add(Entry entry) {
    uint64_t grown = archiveSize + WAD_RECORD_SIZE + entry.path.size() + 1 + entry.stored.size();
    if (grown > MAX_ARCHIVE_SIZE) {
        return Result::Fail();
    }
    archiveSize = grown;
    entry.pathHash = HashAsLookedUp(entry.path);
    entries.push_back(std::move(entry));
    return Result::Ok();
}

void WadWriter::SetFlags(size_t index, uint32_t flags) {
    if (index < entries.size()) {
        entries[index].flags = flags;
    }
}

void WadWriter::SetPathHash(size_t index, uint32_t pathHash) {
    if (index < entries.size()) {
        entries[index].pathHash = pathHash;
    }
}

uint32_t WadWriter::EntryFlags(size_t index) const {
    return index < entries.size() ? entries[index].flags : 0;
}

std::vector<uint8_t> WadWriter::Finish() const {
    std::vector<uint8_t> archive(static_cast<size_t>(archiveSize));
    uint32_t count = static_cast<uint32_t>(entries.size());
    uint32_t namesAt = WadRecordOffset(count);

    uint32_t namesSize = 0;
    for (const Entry& entry : entries) {
        namesSize += static_cast<uint32_t>(entry.path.size()) + 1;
    }

    WadHeader header;
    std::memcpy(header.magic, WAD_MAGIC, sizeof(header.magic));
    header.version = version;
    header.entryCount = count;
    if (version == WAD_NAME_TABLE_VERSION) {
        header.nameTableOffset = namesAt;
        header.nameTableSize = namesSize;
    }
    header.Encode(archive.data());

    uint32_t nameAt = namesAt;
    uint32_t dataAt = namesAt + namesSize;
    for (uint32_t i = 0; i < count; ++i) {
        const Entry& entry = entries[i];
        WadEntryRecord record;
        record.pathHash = entry.pathHash;
        record.nameOffset = nameAt;
        record.nameLength = static_cast<uint32_t>(entry.path.size());
        record.dataOffset = dataAt;
        record.storedSize = static_cast<uint32_t>(entry.stored.size());
        record.flags = entry.flags;
        record.unpackedSize = entry.unpackedSize;
        record.Encode(archive.data() + WadRecordOffset(i));

        std::memcpy(archive.data() + nameAt, entry.path.data(), entry.path.size());
        archive[nameAt + entry.path.size()] = 0;
        nameAt += record.nameLength + 1;
        if (!entry.stored.empty()) {
            std::memcpy(archive.data() + dataAt, entry.stored.data(), entry.stored.size());
        }
        dataAt += record.storedSize;
    }
    return archive;
}

}  // namespace vfs
