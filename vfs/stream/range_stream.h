// RangeStream: a window of the inner stream shown as a stream of its own.
#pragma once

#include <cstdint>

#include "vfs/core/result.h"
#include "vfs/core/stream.h"

namespace vfs {

// Shows `size` bytes from `start` of the inner stream (an archive entry's
// stored bytes) as a stream from 0 to size. Reads stop at the window's end
// and seeks outside it fail; the inner stream is expected to stand at
// start + position, which the creator establishes before stacking (by seeking
// the stack beneath to `start`) and Seek keeps. The window may lie anywhere
// in a 64-bit inner stream and be larger than 2 GiB; the 32-bit slots then
// answer -1 beyond INT32_MAX.
class RangeStream : public Stream {
  public:
    // Sets the window; position 0. A window that is negative or would reach
    // beyond the 64-bit range is refused with -1 and left empty (size 0,
    // start 0), so that nothing can be read through it.
    Result Init(int64_t size, int64_t start);

    // Reads at most up to the window's end; 0 at the end or for a count of 0
    // or less; -1 if the inner stream fails.
    int32_t Read(void* buffer, int32_t count) override;
    // The window is read-only: always 0.
    int32_t Write(const void* buffer, int32_t count) override;
    // Origins 0, 1, 2 within the window (0 to size); anything else, or a
    // failing inner seek, returns -1 and leaves the position.
    int32_t Seek(int32_t offset, int32_t origin) override;
    int32_t GetSize() override { return Within32Bits(size); }
    int32_t Tell() override { return Within32Bits(position); }
    int64_t Seek64(int64_t offset, int32_t origin) override;
    int64_t GetSize64() override { return size; }
    int64_t Tell64() override { return position; }
    // The first call maps the whole window from the inner stream, which this
    // stream keeps until Close; returns a pointer `offset` bytes into it when
    // offset and length lie within the window (Map(0, 0) gives the window's
    // start), else null. An empty window maps nothing, nor does one that
    // 32-bit offsets cannot reach in the inner stream.
    const void* Map(int32_t offset, int32_t length) override;
    // Pointers into the window are given back at Close, not here; any other
    // pointer goes to the inner stream.
    void Unmap(const void* pointer) override;
    // Gives the window's mapping back to the inner stream.
    void Close() override;

  private:
    bool IsInWindow(const void* pointer) const;

    int64_t size = 0;
    int64_t position = 0;
    int64_t start = 0;
    const uint8_t* mapped = nullptr;
};

}  // namespace vfs
