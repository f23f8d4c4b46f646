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

    // The block's header must be whole and record the entry's size, read the
    // way the decoder reads it: the header's length follows bit 0 of the
    // first byte, and the size is the 24-bit big-endian number at its end.
    // An empty entry then needs nothing more: the codec reports its 0 bytes
    // the same way as a failure.
    int32_t headerSize =
        (stored[0] & LZ_HEADER_LONG) != 0 ? LZ_LONG_HEADER_SIZE : LZ_SHORT_HEADER_SIZE;
    if (got < headerSize) {
        return false;
    }
    const uint8_t* sizeField = stored.get() + headerSize - 3;
    int32_t recorded = sizeField[0] << 16 | sizeField[1] << 8 | sizeField[2];
    if (recorded != size) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    LzCodec codec;
    return codec.DecompressBounded(buffer, size, stored.get(), got, nullptr) == size;
}

}  // namespace vfs
