#include "vfs/stream/entry_decode.h"

#include <algorithm>
#include <string>

#include "vfs/codec/lz_codec.h"
#include "vfs/codec/shared_codec.h"
#include "vfs/core/last_error.h"

namespace vfs {

bool CanHoldEntryBlock(WadCoding coding, int64_t storedSize, uint32_t size) {
    if (coding == WadCoding::LZ) {
        // The block's header cannot record more than 24 bits of size.
        if (size > static_cast<uint32_t>(LZ_MAX_SIZE)) {
            SetLastError(ErrorCode::NOT_DECODABLE, "does not decode: an LZ block holds at most " +
                                                       std::to_string(LZ_MAX_SIZE) +
                                                       " bytes, its record gives " +
                                                       std::to_string(size));
            return false;
        }
        if (storedSize <= 0) {
            SetLastError(ErrorCode::NOT_DECODABLE, "does not decode: it has no LZ data");
            return false;
        }
        return true;
    }
    if (storedSize < ZLIB_BLOCK_HEADER_SIZE) {
        SetLastError(ErrorCode::NOT_DECODABLE,
                     "does not decode: its " + std::to_string(std::max<int64_t>(storedSize, 0)) +
                         " stored bytes are fewer than a zlib-framed header takes");
        return false;
    }
    return true;
}

bool DecodeEntryBlock(WadCoding coding, const uint8_t* stored, int32_t storedSize, uint8_t* dest,
                      int32_t size) {
    if (!CanHoldEntryBlock(coding, storedSize, static_cast<uint32_t>(size))) {
        return false;
    }
    // The block must record the entry's size and decode to exactly that
    // many bytes, an empty entry's block included; one of another size is
    // refused before anything is decoded into `dest`.
    if (coding == WadCoding::LZ) {
        LzCodec codec;
        return codec.DecodeExactly(dest, size, stored, storedSize);
    }
    return GetZlibCodec().DecodeExactly(dest, size, stored, storedSize, nullptr);
}

}  // namespace vfs
