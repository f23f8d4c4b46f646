#include "vfs/stream/position_stream.h"

namespace vfs {

int32_t PositionStream::Read(void* buffer, int32_t count) {
    if (inner == nullptr) {
        return -1;
    }
    int32_t moved = inner->Read(buffer, count);
    Advance(moved);
    return moved;
}

int32_t PositionStream::Write(const void* buffer, int32_t count) {
    if (inner == nullptr) {
        return -1;
    }
    int32_t moved = inner->Write(buffer, count);
    Advance(moved);
    return moved;
}

int32_t PositionStream::Seek(int32_t offset, int32_t origin) {
    if (inner == nullptr) {
        return -1;
    }
    int32_t result = inner->Seek(offset, origin);
    // A failed seek leaves the inner stream where it was (or undefined); our
    // position keeps naming the place this reader stood, so that the next
    // locked operation re-positions the shared stream there instead of
    // reading at -1 or at another reader's place.
    if (result >= 0) {
        position = result;
    }
    return result;
}

int32_t PositionStream::GetSize() {
    return inner == nullptr ? -1 : inner->GetSize();
}

void PositionStream::Advance(int32_t moved) {
    if (moved > 0) {
        // Positions are 32-bit; wrap-around instead of overflow on a stream
        // of 2 GiB or more (out of range for the library anyway).
        position =
            static_cast<int32_t>(static_cast<uint32_t>(position) + static_cast<uint32_t>(moved));
    }
}

}  // namespace vfs
