#include "vfs/stream/lz_entry_stream.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "vfs/core/last_error.h"
#include "vfs/stream/entry_decode.h"

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
    int32_t storedSize = inner->GetSize();
    if (!CanHoldEntryBlock(WadCoding::LZ, storedSize, static_cast<uint32_t>(size))) {
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
    return DecodeEntryBlock(WadCoding::LZ, stored.get(), std::min(got, storedSize), buffer, size);
}

}  // namespace vfs
