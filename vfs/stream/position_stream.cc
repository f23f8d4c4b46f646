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
    return SeekWithin32Bits(offset, origin);
}

int64_t PositionStream::Seek64(int64_t offset, int32_t origin) {
    if (inner == nullptr) {
        return -1;
    }
    int64_t result = inner->Seek64(offset, origin);
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
    return inner == nullptr ? -1 : Within32Bits(GetSize64());
}

int64_t PositionStream::GetSize64() {
    return inner == nullptr ? -1 : inner->GetSize64();
}

void PositionStream::Advance(int32_t moved) {
    if (moved > 0) {
        position += moved;
    }
}

}  // namespace vfs
