// WadEntryRecord: the 40-byte record an archive keeps for each file, and the
// flag bits of its `flags` field.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/wad/wad_header.h"

namespace vfs {

inline constexpr uint32_t WAD_RECORD_SIZE = 40;

// The flag bits, tested in this order; the first one set decides how the
// entry is opened. Any other non-zero value still makes `unpackedSize` the
// reported size while the entry is read as stored bytes.
inline constexpr uint32_t WAD_FLAG_REFUSED = 0x1;  // listed, but cannot be opened
inline constexpr uint32_t WAD_FLAG_ZLIB = 0x2;     // zlib-framed data
inline constexpr uint32_t WAD_FLAG_LZ = 0x4;       // LZ-coded data

// How an entry's bytes lie in the archive, and so how it opens.
enum class WadCoding {
    STORED,   // as they are: flags 0, or flags that name no coding
    LZ,       // LZ-coded, WAD_FLAG_LZ
    ZLIB,     // zlib-framed, WAD_FLAG_ZLIB
    REFUSED,  // WAD_FLAG_REFUSED: listed, but does not open
};

// The coding of an entry with these flags: the first flag set of
// WAD_FLAG_REFUSED, WAD_FLAG_ZLIB and WAD_FLAG_LZ, in that order, decides.
inline constexpr WadCoding WadCodingOf(uint32_t flags) {
    if ((flags & WAD_FLAG_REFUSED) != 0) {
        return WadCoding::REFUSED;
    }
    if ((flags & WAD_FLAG_ZLIB) != 0) {
        return WadCoding::ZLIB;
    }
    if ((flags & WAD_FLAG_LZ) != 0) {
        return WadCoding::LZ;
    }
    return WadCoding::STORED;
}

// A coded entry is decoded whole in memory from its stored bytes read in one
// piece, into buffers of signed 32-bit sizes: a coded entry whose stored or
// unpacked size is larger than this does not open. Stored entries may take
// any 32-bit size.
inline constexpr uint32_t WAD_MAX_DECODED_SIZE = INT32_MAX;

struct TARNVFS_API WadEntryRecord {
    uint32_t pathHash = 0;    // WadPathHash of the full path
    uint32_t nameOffset = 0;  // absolute; inside the name table in version 2
    uint32_t nameLength = 0;  // versions 0 and 1: without the NUL
    uint32_t dataOffset = 0;
    uint32_t storedSize = 0;
    uint32_t flags = 0;
    uint32_t unpackedSize = 0;
    uint8_t reserved[12] = {};

    // Decodes the WAD_RECORD_SIZE bytes at `bytes`.
    static WadEntryRecord Decode(const uint8_t* bytes);
    // Encodes the record into the WAD_RECORD_SIZE bytes at `bytes`.
    void Encode(uint8_t* bytes) const;

    // The size reported for the file: `unpackedSize` once any flag is set.
    uint32_t ReportedSize() const { return flags != 0 ? unpackedSize : storedSize; }
    // Whether the entry opens decoded (zlib-framed or LZ-coded) rather than
    // as its stored bytes; a refused entry does not open at all.
    bool IsCoded() const {
        const WadCoding coding = WadCodingOf(flags);
        return coding == WadCoding::ZLIB || coding == WadCoding::LZ;
    }
    // A coded entry too large to be decoded in memory (WAD_MAX_DECODED_SIZE).
    bool TooLargeToDecode() const {
        return IsCoded() &&
               (storedSize > WAD_MAX_DECODED_SIZE || unpackedSize > WAD_MAX_DECODED_SIZE);
    }
};

// Whether an entry of these record fields opens in an archive file of
// `archiveSize` bytes (negative: unknown) as far as the record tells: not
// refused, its stored bytes inside the file, and a coded entry not too
// large to decode in memory. -1 with the reason in LastError otherwise.
TARNVFS_API Result CheckWadRecordData(uint32_t flags, uint32_t dataOffset, uint32_t storedSize,
                                      uint32_t unpackedSize, int64_t archiveSize);

// File offset of record `index` of the record table.
inline constexpr uint32_t WadRecordOffset(uint32_t index) {
    return WAD_HEADER_SIZE + WAD_RECORD_SIZE * index;
}

}  // namespace vfs
