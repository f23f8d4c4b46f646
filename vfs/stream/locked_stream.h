// LockedStream: one reader's own position over a stream shared with others.
#pragma once

#include <cstdint>

#include "vfs/stream/position_stream.h"

namespace vfs {

// Gives one reader a position of its own over a shared stream (the archive's
// host stream). Every operation that touches the shared stream holds the
// semaphore that the stack's bottom stream answers through GetLock, from
// re-positioning the shared stream to this reader's position until the
// operation is done, so readers on different threads never interleave a seek
// and a read. Over a stack without a semaphore the operations run unlocked.
//
// The semaphore is not recursive: a LockedStream must not be stacked over
// another stream that takes the same lock (such as a second LockedStream).
// One LockedStream is used by one thread at a time.
class LockedStream : public PositionStream {
  public:
    // Re-position the shared stream, then transfer. If the shared stream
    // cannot be put back at this reader's position they fail with -1 instead
    // of moving bytes at another reader's place.
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    // A seek relative to the current position (origin 1) needs the shared
    // stream at this reader's position first, and fails if it cannot be put
    // there; seeks from the start or the end do not depend on it. (The
    // 32-bit Seek and GetSize of PositionStream come here.)
    int64_t Seek64(int64_t offset, int32_t origin) override;
    int64_t GetSize64() override;
    // The host back-ends create their mapping objects lazily, so Map and
    // Unmap hold the lock as well (without re-positioning).
    const void* Map(int32_t offset, int32_t length) override;
    void Unmap(const void* pointer) override;
    // Stacks over `stream` and starts at the position the shared stream
    // stands at, read under the lock.
    void Attach(Stream* stream) override;

  private:
    // The shared stream's semaphore, or null when there is none.
    Semaphore* SharedLock();
    // Moves the shared stream to this reader's position if it stands
    // elsewhere. Called with the lock held; false if it could not be done.
    bool Reposition();
};

}  // namespace vfs
