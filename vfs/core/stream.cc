#include "vfs/core/stream.h"

#include "vfs/core/counted.h"

namespace vfs {

// The forwarding slots test `inner`: a stream used on its own that does not
// override them answers as a stream with nothing beneath it.

int64_t SeekTarget(int64_t offset, int32_t origin, int64_t current, int64_t size) {
    int64_t base;
    switch (origin) {
        case SEEK_FROM_START:
            base = 0;
            break;
        case SEEK_FROM_CURRENT:
            base = current;
            break;
        case SEEK_FROM_END:
            base = size;
            break;
        default:
            return -1;
    }
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target)) {
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

int32_t Stream::ReadAt(int64_t /*offset*/, void* /*buffer*/, int32_t /*count*/) {
    return kNoPositionedReads;
}

int64_t Stream::Seek64(int64_t offset, int32_t origin) {
    if (offset < INT32_MIN || offset > INT32_MAX) {
        return -1;
    }
    return Seek(static_cast<int32_t>(offset), origin);
}

int64_t Stream::GetSize64() {
    return GetSize();
}

int64_t Stream::Tell64() {
    return Tell();
}

int32_t Stream::SeekWithin32Bits(int32_t offset, int32_t origin) {
    int64_t base;
    switch (origin) {
        case SEEK_FROM_START:
            base = 0;
            break;
        case SEEK_FROM_CURRENT:
            base = Tell64();
            break;
        case SEEK_FROM_END:
            base = GetSize64();
            break;
        default:
            return -1;
    }
    if (base < 0) {
        return -1;
    }
    int64_t target;
    if (__builtin_add_overflow(base, int64_t{offset}, &target) || target < 0 ||
        target > INT32_MAX) {
        return -1;
    }
    const int64_t result = Seek64(target, SEEK_FROM_START);
    return result < 0 ? -1 : Within32Bits(result);
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
