#include "vfs/stream/zlib_entry_stream.h"

#include <algorithm>
#include <memory>
#include <new>

#include "vfs/codec/shared_codec.h"
#include "vfs/codec/zlib_codec.h"

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
    // times faster. A short read (stored bytes beyond the archive's end)
    // leaves a cut block, which the decoder refuses.
    const int32_t storedSize = inner->GetSize();
    if (storedSize < ZLIB_BLOCK_HEADER_SIZE) {
        return false;
    }
    std::unique_ptr<uint8_t[]> stored(new (std::nothrow) uint8_t[storedSize]);
    if (stored == nullptr) {
        return false;
    }
    const int32_t got = std::min(inner->Read(stored.get(), storedSize), storedSize);
    // The block must record the entry's size and decode to exactly that
    // many bytes, an empty entry's block included; one of another size is
    // refused before anything is decoded into the entry's buffer.
    return GetZlibCodec().DecodeExactly(buffer, size, stored.get(), got, nullptr);
}

}  // namespace vfs
