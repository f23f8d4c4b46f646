#include "vfs/stream/lz_entry_stream.h"

#include <algorithm>
#include <memory>
#include <new>

#include "vfs/codec/lz_codec.h"

namespace vfs {

void LzEntryStream::Attach(Stream* stream) {
    MemoryStream::Attach(stream);
    if (IsAwaitingDecode()) {
        FinishDecode(Decode());
    }
}

bool LzEntryStream::Decode() {
    // The block's header cannot record more than 24 bits of size.
    if (inner == nullptr || size > LZ_MAX_SIZE) {
        return false;
    }
    int32_t storedSize = inner->GetSize();
    if (storedSize <= 0) {
        return false;
    }
    std::unique_ptr<uint8_t[]> stored(new (std::nothrow) uint8_t[storedSize]);
    if (stored == nullptr) {
        return false;
    }
    // A short read (stored bytes beyond the archive's end) leaves a cut block,
    // which the checked decode refuses.
    int32_t got = inner->Read(stored.get(), storedSize);
    if (got <= 0) {
        return false;
    }
    got = std::min(got, storedSize);
    // The block must record the entry's size and decode to exactly that
    // many bytes, an empty entry's block included.
    LzCodec codec;
    return codec.DecodeExactly(buffer, size, stored.get(), got);
}

}  // namespace vfs
