// Stream: the byte-stream interface every stream of the library implements.
#pragma once

#include <atomic>
#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/result.h"
#include "vfs/core/semaphore.h"

namespace vfs {

// Seek origins.
inline constexpr int32_t SEEK_FROM_START = 0;
inline constexpr int32_t SEEK_FROM_CURRENT = 1;
inline constexpr int32_t SEEK_FROM_END = 2;

// The position a seek asks for in a stream of `size` bytes standing at
// `current`, computed so that no sum overflows; -1 for an unknown origin or a
// target outside 0 to size.
int64_t SeekTarget(int64_t offset, int32_t origin, int64_t current, int64_t size);

// A counted byte stream with a position, an optional mapping and an optional
// lock. Streams stack: each may sit on an `inner` stream, of which it owns
// one reference; a StreamRef holds only the top of a stack. A stream serves
// one thread at a time, except for ReadAt; entry streams of one archive,
// each with a position of its own, may be read on different threads at
// once. Counts are signed
// 32-bit. Slots 3 to 5 give positions and sizes in signed 32 bits; slots 13
// to 15 give the same in 64 bits, for files beyond 2 GiB (an archive reaches
// 4 GiB - 1). A stream whose position or size does not fit 32 bits answers
// -1 in the 32-bit slots, and its 32-bit Seek refuses, without moving, a
// target beyond INT32_MAX. A stream that never grows beyond 32 bits
// implements slots 3 to 5 only: the 64-bit slots then answer through them.
class TARNVFS_API Stream {
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
    virtual int32_t ReadAt(int64_t offset, void* buffer, int32_t count);
    static constexpr int32_t kNoPositionedReads = -2;
    // Slot 13: Seek with a 64-bit offset and result. By default a 32-bit
    // Seek, for an offset that fits one.
    virtual int64_t Seek64(int64_t offset, int32_t origin);
    // Slot 14: the size in 64 bits, -1 when unknown. By default GetSize.
    virtual int64_t GetSize64();
    // Slot 15: the position in 64 bits. By default Tell.
    virtual int64_t Tell64();

    int32_t AddRef();
    int32_t Release();

    int32_t GetRefCount() const { return refCount.load(); }

    Stream* inner = nullptr;
    std::atomic<int32_t> refCount{0};

  protected:
    // For streams whose positions reach beyond INT32_MAX, which implement
    // slots 13 to 15: the 32-bit Seek answered through Seek64, refusing
    // without a move a target that a 32-bit position cannot name.
    int32_t SeekWithin32Bits(int32_t offset, int32_t origin);
    // `value` where it fits a signed 32-bit result, else -1.
    static int32_t Within32Bits(int64_t value) {
        return value >= 0 && value <= INT32_MAX ? static_cast<int32_t>(value) : -1;
    }
};

}  // namespace vfs
