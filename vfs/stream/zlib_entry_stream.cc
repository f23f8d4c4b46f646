#include "vfs/stream/zlib_entry_stream.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "vfs/codec/zlib_codec.h"
#include "vfs/core/last_error.h"
#include "vfs/stream/entry_decode.h"

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
    if (!CanHoldEntryBlock(WadCoding::ZLIB, storedSize, static_cast<uint32_t>(size))) {
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
    return DecodeEntryBlock(WadCoding::ZLIB, stored.get(), got, buffer, size);
}

}  // namespace vfs
