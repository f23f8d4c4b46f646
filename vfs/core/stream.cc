#include "vfs/core/stream.h"

#include "vfs/core/counted.h"

namespace vfs {

// The forwarding slots test `inner`: a stream used on its own that does not
// override them answers as a stream with nothing beneath it.

int64_t SeekTarget(int32_t offset, int32_t origin, int32_t current, int32_t size) {
    int64_t target;
    switch (origin) {
        case SEEK_FROM_START:
            target = offset;
            break;
        case SEEK_FROM_CURRENT:
            target = int64_t{current} + offset;
            break;
        case SEEK_FROM_END:
            target = int64_t{size} + offset;
            break;
        default:
            return -1;
    }
    return target < 0 || target > size ? -1 : target;
}

const void* Stream::Map(int32_t offset, int32_t length) {
    return inner == nullptr ? nullptr : inner->Map(offset, length);
}

void Stream::Unmap(const void* pointer) {
    if (inner != nullptr) {
        inner->Unmap(pointer);
    }
}

Result Stream::Flush() {
    return Result::Fail();
}

void Stream::Attach(Stream* stream) {
    if (inner != nullptr) {
        stream->Attach(inner);
    }
    inner = stream;
}

int32_t Stream::ReadAt(int32_t /*offset*/, void* /*buffer*/, int32_t /*count*/) {
    return kNoPositionedReads;
}

Semaphore* Stream::GetLock() {
    return inner == nullptr ? nullptr : inner->GetLock();
}

int32_t Stream::AddRef() {
    return AddRefCounted(refCount);
}

int32_t Stream::Release() {
    return ReleaseCounted(this, refCount, inner);
}

}  // namespace vfs
