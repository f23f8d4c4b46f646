#include "vfs/stream/lz_entry_stream.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "vfs/codec/lz_codec.h"
#include "vfs/core/last_error.h"

namespace vfs {

void LzEntryStream::Attach(Stream* stream) {
    MemoryStream::Attach(stream);
    if (IsAwaitingDecode()) {
        FinishDecode(Decode());
    }
}

bool LzEntryStream::Decode() {
    if (inner == nullptr) {
        return false;
    }
    // The block's header cannot record more than 24 bits of size.
    if (size > LZ_MAX_SIZE) {
        SetLastError(ErrorCode::NOT_DECODABLE,
                     "does not decode: an LZ block holds at most " + std::to_string(LZ_MAX_SIZE) +
                         " bytes, its record gives " + std::to_string(size));
        return false;
    }
    int32_t storedSize = inner->GetSize();
    if (storedSize <= 0) {
        SetLastError(ErrorCode::NOT_DECODABLE, "does not decode: it has no LZ data");
        return false;
    }
    std::unique_ptr<uint8_t[]> stored(new (std::nothrow) uint8_t[storedSize]);
    if (stored == nullptr) {
        SetLastError(ErrorCode::TOO_LARGE, "too large to hold in memory (" +
                                               std::to_string(storedSize) + " stored bytes)");
        return false;
    }
    // A short read leaves the reason the stream beneath gave.
    int32_t got = inner->Read(stored.get(), storedSize);
    if (got < storedSize) {
        return false;
    }
    got = std::min(got, storedSize);
    // The block must record the entry's size and decode to exactly that
    // many bytes, an empty entry's block included.
    LzCodec codec;
    return codec.DecodeExactly(buffer, size, stored.get(), got);
}

}  // namespace vfs
