// Stream: the byte-stream interface every stream of the library implements.
#pragma once

#include <atomic>
#include <cstdint>

#include "vfs/core/result.h"
#include "vfs/core/semaphore.h"

namespace vfs {

// Seek origins.
inline constexpr int32_t SEEK_FROM_START = 0;
inline constexpr int32_t SEEK_FROM_CURRENT = 1;
inline constexpr int32_t SEEK_FROM_END = 2;

// The position a seek asks for in a stream of `size` bytes standing at
// `current`, computed wide so that no sum overflows; -1 for an unknown origin
// or a target outside 0 to size.
int64_t SeekTarget(int32_t offset, int32_t origin, int32_t current, int32_t size);

// A counted byte stream with a position, an optional mapping and an optional
// lock. Streams stack: each may sit on an `inner` stream, of which it owns
// one reference; a StreamRef holds only the top of a stack. Counts, offsets
// and positions are signed 32-bit.
class Stream {
  public:
    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Slot 0. Release has already closed the stream and let go of `inner`.
    virtual ~Stream() = default;
    // Slot 1: returns the number of bytes read (-1 on failure).
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    // Slot 2: returns the number of bytes written (-1 on failure).
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Slot 3: returns the new position, or -1.
    virtual int32_t Seek(int32_t offset, int32_t origin) = 0;
    // Slot 4.
    virtual int32_t GetSize() = 0;
    // Slot 5.
    virtual int32_t Tell() = 0;
    // Slot 6: a read-only pointer to that stretch of the data, or null.
    // Forwards to the inner stream; a stream that can be at the bottom of a
    // stack overrides it.
    virtual const void* Map(int32_t offset, int32_t length);
    // Slot 7: gives back a pointer obtained from Map.
    virtual void Unmap(const void* pointer);
    // Slot 8: not supported unless a stream says otherwise.
    virtual Result Flush();
    // Slot 9: lets go of what the stream holds of the host.
    virtual void Close() {}
    // Slot 10: stacks this stream over `stream` (and whatever this stream was
    // already stacked on beneath that).
    virtual void Attach(Stream* stream);
    // Slot 11: the semaphore that guards the bottom stream of the stack.
    virtual Semaphore* GetLock();
    // Slot 12: reads up to `count` bytes at `offset` without moving any
    // position and without the lock, safe from any number of threads at
    // once: the bytes read (0 at the end), -1 on failure, or
    // kNoPositionedReads where the stream cannot (the default), and the
    // caller reads under the lock instead. ReadAt(0, nullptr, 0) asks which.
    virtual int32_t ReadAt(int32_t offset, void* buffer, int32_t count);
    static constexpr int32_t kNoPositionedReads = -2;

    int32_t AddRef();
    int32_t Release();

    int32_t GetRefCount() const { return refCount.load(); }

    Stream* inner = nullptr;
    std::atomic<int32_t> refCount{0};
};

}  // namespace vfs
