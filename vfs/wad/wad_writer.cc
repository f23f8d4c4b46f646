#include "vfs/wad/wad_writer.h"

#include <algorithm>
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

// `size` bytes LZ-coded into `out` (room for LzCodec::GetMaxCompressedSize
// bytes), with the encoder's tables in `work` (or null); the coded length,
// or 0 when the LZ header cannot record the size or the codec fails.
size_t LzCode(const uint8_t* bytes, size_t size, uint8_t* out, int32_t* work) {
    if (size > static_cast<size_t>(LZ_MAX_SIZE)) {
        return 0;
    }
    // The encoder copies literals with memcpy even when there are none, so
    // it must not be handed a null source for empty input.
    static const uint8_t nothing = 0;
    LzCodec codec;
    int32_t coded =
        codec.Compress(out, size == 0 ? &nothing : bytes, static_cast<int32_t>(size), work);
    return coded > 0 ? static_cast<size_t>(coded) : 0;
}

// `size` bytes zlib-framed into `out` (room for `size` bytes), zlib working
// in `work` (or null); the coded length, or 0 when the codec declines (the
// block would not be shorter than the bytes).
size_t ZlibCode(const uint8_t* bytes, size_t size, uint8_t* out, void* work) {
    if (size > MAX_ARCHIVE_SIZE) {
        return 0;
    }
    ZlibCodec codec;
    int32_t coded = codec.Compress(out, bytes, static_cast<int32_t>(size), work);
    return coded > 0 ? static_cast<size_t>(coded) : 0;
}

// The room LzCode or ZlibCode needs for `size` bytes.
size_t CodedRoom(size_t size, WadCoding coding) {
    if (coding == WadCoding::LZ) {
        return size > static_cast<size_t>(LZ_MAX_SIZE)
                   ? 0
                   : static_cast<size_t>(LzCodec::GetMaxCompressedSize(static_cast<int32_t>(size)));
    }
    return coding == WadCoding::ZLIB && size <= MAX_ARCHIVE_SIZE ? size : 0;
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

WadEntryCoder::WadEntryCoder() = default;
WadEntryCoder::~WadEntryCoder() = default;

uint8_t* WadEntryCoder::Output(size_t size) {
    if (size > outputSize || output == nullptr) {
        // Not a vector: a larger one would be filled with zeros first.
        output.reset(new uint8_t[std::max<size_t>(size, 1)]);
        outputSize = std::max<size_t>(size, 1);
    }
    return output.get();
}

uint32_t WadEntryCoder::Code(const uint8_t* bytes, size_t size, WadCoding coding,
                             std::vector<uint8_t>& coded) {
    if (size > MAX_ARCHIVE_SIZE || coding == WadCoding::STORED) {
        return 0;
    }
    const size_t room = CodedRoom(size, coding);
    if (room == 0) {
        return 0;
    }
    uint8_t* out = Output(room);
    size_t length = 0;
    if (coding == WadCoding::LZ) {
        if (lzWork == nullptr) {
            lzWork.reset(new int32_t[static_cast<size_t>(LzCodec().GetCompressWorkSize()) /
                                     sizeof(int32_t)]);
        }
        length = LzCode(bytes, size, out, lzWork.get());
    } else {
        const size_t workSize = static_cast<size_t>(ZlibCodec().GetCompressWorkSize());
        if (zlibWork == nullptr) {
            zlibWork.reset(new std::max_align_t[(workSize + sizeof(std::max_align_t) - 1) /
                                                sizeof(std::max_align_t)]);
        }
        length = ZlibCode(bytes, size, out, zlibWork.get());
    }
    if (length == 0) {
        return 0;
    }
    coded.assign(out, out + length);
    return coding == WadCoding::LZ ? WAD_FLAG_LZ : WAD_FLAG_ZLIB;
}

Result WadWriter::AddFile(const char* path, const uint8_t* bytes, size_t size, WadCoding coding) {
    if (size > MAX_ARCHIVE_SIZE) {
        return Result::Fail();
    }
    Entry entry;
    const size_t room = CodedRoom(size, coding);
    size_t length = 0;
    if (room != 0) {
        entry.stored.resize(room);
        length = coding == WadCoding::LZ ? LzCode(bytes, size, entry.stored.data(), nullptr)
                                         : ZlibCode(bytes, size, entry.stored.data(), nullptr);
    }
    if (length != 0) {
        entry.stored.resize(length);
        entry.flags = coding == WadCoding::LZ ? WAD_FLAG_LZ : WAD_FLAG_ZLIB;
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

Result WadWriter::AddRawEntry(const char* path, std::vector<uint8_t>&& stored, uint32_t flags,
                              uint32_t unpackedSize) {
    Entry entry;
    entry.path = path == nullptr ? "" : path;
    if (stored.size() > MAX_ARCHIVE_SIZE || !Fits(entry.path.size(), stored.size())) {
        return Result::Fail();
    }
    entry.stored = std::move(stored);
    entry.flags = flags;
    entry.unpackedSize = unpackedSize;
    return Add(std::move(entry));
}

Result WadWriter::AddPlacedEntry(const char* path, size_t storedSize, uint32_t flags,
                                 uint32_t unpackedSize) {
    if (storedSize > MAX_ARCHIVE_SIZE) {
        return Result::Fail();
    }
    Entry entry;
    entry.path = path == nullptr ? "" : path;
    entry.storedSize = storedSize;
    entry.flags = flags;
    entry.unpackedSize = unpackedSize;
    return Add(std::move(entry));
}

bool WadWriter::Fits(size_t pathSize, size_t storedSize) const {
    return archiveSize + WAD_RECORD_SIZE + pathSize + 1 + storedSize <= MAX_ARCHIVE_SIZE;
}

Result WadWriter::Add(Entry entry) {
    if (!entry.stored.empty()) {
        entry.storedSize = entry.stored.size();
    }
    if (!Fits(entry.path.size(), entry.storedSize)) {
        return Result::Fail();
    }
    archiveSize += WAD_RECORD_SIZE + entry.path.size() + 1 + entry.storedSize;
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
    std::vector<uint8_t> archive;
    archive.reserve(static_cast<size_t>(archiveSize));
    WriteTo(
        [](const uint8_t* bytes, size_t size, void* userValue) {
            static_cast<std::vector<uint8_t>*>(userValue)->insert(
                static_cast<std::vector<uint8_t>*>(userValue)->end(), bytes, bytes + size);
            return true;
        },
        &archive);
    return archive;
}

bool WadWriter::WriteTo(WadWriteFunction write, void* userValue) const {
    if (!WriteFront(write, userValue)) {
        return false;
    }
    static const uint8_t zeros[4096] = {};
    for (const Entry& entry : entries) {
        if (!entry.stored.empty()) {
            if (!write(entry.stored.data(), entry.stored.size(), userValue)) {
                return false;
            }
            continue;
        }
        for (size_t left = entry.storedSize; left > 0;) {
            const size_t piece = std::min(left, sizeof(zeros));
            if (!write(zeros, piece, userValue)) {
                return false;
            }
            left -= piece;
        }
    }
    return true;
}

bool WadWriter::WriteFront(WadWriteFunction write, void* userValue) const {
    uint32_t count = static_cast<uint32_t>(entries.size());
    uint32_t namesAt = WadRecordOffset(count);

    uint32_t namesSize = 0;
    for (const Entry& entry : entries) {
        namesSize += static_cast<uint32_t>(entry.path.size()) + 1;
    }
    // The header, the records and the names.
    std::vector<uint8_t> front(static_cast<size_t>(namesAt) + namesSize);

    WadHeader header;
    std::memcpy(header.magic, WAD_MAGIC, sizeof(header.magic));
    header.version = version;
    header.entryCount = count;
    if (version == WAD_NAME_TABLE_VERSION) {
        header.nameTableOffset = namesAt;
        header.nameTableSize = namesSize;
    }
    header.Encode(front.data());

    uint32_t nameAt = namesAt;
    uint32_t dataAt = namesAt + namesSize;
    for (uint32_t i = 0; i < count; ++i) {
        const Entry& entry = entries[i];
        WadEntryRecord record;
        record.pathHash = entry.pathHash;
        record.nameOffset = nameAt;
        record.nameLength = static_cast<uint32_t>(entry.path.size());
        record.dataOffset = dataAt;
        record.storedSize = static_cast<uint32_t>(entry.storedSize);
        record.flags = entry.flags;
        record.unpackedSize = entry.unpackedSize;
        record.Encode(front.data() + WadRecordOffset(i));

        std::memcpy(front.data() + nameAt, entry.path.data(), entry.path.size());
        front[nameAt + entry.path.size()] = 0;
        nameAt += record.nameLength + 1;
        dataAt += record.storedSize;
    }
    return write(front.data(), front.size(), userValue);
}

}  // namespace vfs
