// How the decoded entry streams turn an entry's stored bytes into its
// content, for every reader that holds the stored bytes itself.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/wad/wad_entry_record.h"

namespace vfs {

// Whether stored bytes of `storedSize` can hold a block of `coding` (LZ or
// ZLIB) decoding to `size` bytes, as far as the sizes tell; false with the
// reason in LastError (NOT_DECODABLE) otherwise.
TARNVFS_API bool CanHoldEntryBlock(WadCoding coding, int64_t storedSize, uint32_t size);

// Decodes the `storedSize` bytes at `stored`, a block of `coding` (LZ or
// ZLIB), into exactly `size` bytes at `dest`: false, with the reason in
// LastError, unless the block is intact, records `size` and makes exactly
// that many bytes.
TARNVFS_API bool DecodeEntryBlock(WadCoding coding, const uint8_t* stored, int32_t storedSize,
                                  uint8_t* dest, int32_t size);

}  // namespace vfs
