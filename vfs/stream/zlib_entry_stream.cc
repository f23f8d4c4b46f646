#include "vfs/stream/zlib_entry_stream.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "vfs/codec/shared_codec.h"
#include "vfs/codec/zlib_codec.h"
#include "vfs/core/last_error.h"

namespace vfs {

void ZlibEntryStream::Attach(Stream* stream) {
    MemoryStream::Attach(stream);
    if (IsAwaitingDecode()) {
        FinishDecode(Decode());
    }
}

bool ZlibEntryStream::Decode() {
    if (inner == nullptr) {
        return false;
    }
    // The whole block in one read, then one call of the whole-block decoder:
    // it decodes as the chunked reader of the shared codec would, several
    // times faster. A short read leaves the reason the stream beneath gave.
    const int32_t storedSize = inner->GetSize();
    if (storedSize < ZLIB_BLOCK_HEADER_SIZE) {
        SetLastError(ErrorCode::NOT_DECODABLE,
                     "does not decode: its " + std::to_string(std::max(storedSize, 0)) +
                         " stored bytes are fewer than a zlib-framed header takes");
        return false;
    }
    std::unique_ptr<uint8_t[]> stored(new (std::nothrow) uint8_t[storedSize]);
    if (stored == nullptr) {
        SetLastError(ErrorCode::TOO_LARGE, "too large to hold in memory (" +
                                               std::to_string(storedSize) + " stored bytes)");
        return false;
    }
    const int32_t got = std::min(inner->Read(stored.get(), storedSize), storedSize);
    if (got < storedSize) {
        return false;
    }
    // The block must record the entry's size and decode to exactly that
    // many bytes, an empty entry's block included; one of another size is
    // refused before anything is decoded into the entry's buffer.
    return GetZlibCodec().DecodeExactly(buffer, size, stored.get(), got, nullptr);
}

}  // namespace vfs
