// WadHeader: the fixed header at the start of every WAD archive.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/result.h"

namespace vfs {

inline constexpr uint32_t WAD_HEADER_SIZE = 88;
// The four bytes an archive begins with.
inline constexpr uint8_t WAD_MAGIC[4] = {'Q', 'A', 'R', 'C'};
// Versions 0 and 1 store each name on its own; version 2 keeps every name in
// one name table.
inline constexpr uint32_t WAD_MAX_VERSION = 2;
inline constexpr uint32_t WAD_NAME_TABLE_VERSION = 2;
// Offsets and sizes in the format are unsigned 32-bit: an archive file holds
// at most 4 GiB - 1 bytes, and a larger file is not opened as one.
inline constexpr uint64_t WAD_MAX_ARCHIVE_SIZE = UINT32_MAX;

// The 88-byte header, decoded field by field. The reserved bytes are kept as
// they were read so that a copy of the header is the header.
struct TARNVFS_API WadHeader {
    uint8_t magic[4] = {};
    uint32_t version = 0;
    uint8_t reserved[64] = {};
    uint32_t entryCount = 0;
    uint32_t nameTableOffset = 0;  // version 2 only
    uint32_t nameTableSize = 0;    // version 2 only
    uint8_t reserved2[4] = {};

    // Decodes the WAD_HEADER_SIZE bytes at `bytes`; checks nothing.
    static WadHeader Decode(const uint8_t* bytes);
    // Encodes the header into the WAD_HEADER_SIZE bytes at `bytes`.
    void Encode(uint8_t* bytes) const;

    // Decodes `size` bytes read from the start of a file into `out` and
    // checks that they begin an archive: at least WAD_HEADER_SIZE bytes, the
    // magic "QARC" and a version of at most 2. -1 otherwise, `out` untouched
    // and the reason in LastError.
    static Result Parse(const uint8_t* bytes, uint32_t size, WadHeader* out);

    bool HasMagic() const;
    bool NamesInTable() const { return version == WAD_NAME_TABLE_VERSION; }
};

}  // namespace vfs
