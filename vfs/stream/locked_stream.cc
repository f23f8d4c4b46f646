#include "vfs/stream/locked_stream.h"

#include "vfs/core/semaphore.h"

namespace vfs {

Semaphore* LockedStream::SharedLock() {
    return inner == nullptr ? nullptr : inner->GetLock();
}

bool LockedStream::Reposition() {
    if (inner == nullptr) {
        return false;
    }
    if (inner->Tell64() == position) {
        return true;
    }
    return position >= 0 && inner->Seek64(position, SEEK_FROM_START) == position;
}

int32_t LockedStream::Read(void* buffer, int32_t count) {
    // Where the shared stream reads at a position of its own, no lock and no
    // seek are needed: one host call.
    if (inner != nullptr && position >= 0) {
        const int32_t moved = inner->ReadAt(position, buffer, count);
        if (moved != kNoPositionedReads) {
            Advance(moved);
            return moved;
        }
    }
    SemaphoreLock lock(SharedLock());
    lock.Lock(true);
    if (!Reposition()) {
        return -1;
    }
    return PositionStream::Read(buffer, count);
}

int32_t LockedStream::Write(const void* buffer, int32_t count) {
    SemaphoreLock lock(SharedLock());
    lock.Lock(true);
    if (!Reposition()) {
        return -1;
    }
    return PositionStream::Write(buffer, count);
}

int64_t LockedStream::Seek64(int64_t offset, int32_t origin) {
    // Over a stream read at positions of its own, a place from the start is
    // only this reader's business: the shared stream is not moved (every
    // locked operation puts it where it needs it).
    if (origin == SEEK_FROM_START && offset >= 0 && inner != nullptr &&
        inner->ReadAt(0, nullptr, 0) != kNoPositionedReads) {
        position = offset;
        return offset;
    }
    SemaphoreLock lock(SharedLock());
    lock.Lock(true);
    bool placed = Reposition();
    if (!placed && origin == SEEK_FROM_CURRENT) {
        return -1;
    }
    return PositionStream::Seek64(offset, origin);
}

int64_t LockedStream::GetSize64() {
    SemaphoreLock lock(SharedLock());
    lock.Lock(true);
    // The size does not depend on the position; re-positioning only keeps the
    // shared stream where this reader last left it.
    Reposition();
    return PositionStream::GetSize64();
}

const void* LockedStream::Map(int32_t offset, int32_t length) {
    if (inner == nullptr) {
        return nullptr;
    }
    SemaphoreLock lock(SharedLock());
    lock.Lock(true);
    return inner->Map(offset, length);
}

void LockedStream::Unmap(const void* pointer) {
    if (inner == nullptr) {
        return;
    }
    SemaphoreLock lock(SharedLock());
    lock.Lock(true);
    inner->Unmap(pointer);
}

void LockedStream::Attach(Stream* stream) {
    Stream::Attach(stream);
    if (inner == nullptr) {
        return;
    }
    SemaphoreLock lock(SharedLock());
    lock.Lock(true);
    position = inner->Tell64();
}

}  // namespace vfs
