// PositionStream: a stream that keeps its own position over the stream
// beneath it.
#pragma once

#include <cstdint>

#include "vfs/core/stream.h"

namespace vfs {

// Forwards every positioned operation to the inner stream and remembers where
// that left this stream. It takes no lock and does not re-position the inner
// stream itself; LockedStream builds on it to share one inner stream between
// several readers. Positions are 64-bit: the 32-bit slots answer through the
// 64-bit ones, -1 beyond INT32_MAX.
class PositionStream : public Stream {
  public:
    // Forward to the inner stream; a non-negative result advances the
    // position. Without an inner stream they fail with -1.
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    int32_t Seek(int32_t offset, int32_t origin) override;
    int32_t GetSize() override;
    int32_t Tell() override { return Within32Bits(position); }
    // Forwards to the inner stream; a successful result becomes the position,
    // a failed one (-1) leaves the position where it was.
    int64_t Seek64(int64_t offset, int32_t origin) override;
    int64_t GetSize64() override;
    int64_t Tell64() override { return position; }
    void Close() override { position = 0; }

  protected:
    // Adds a transfer's result to the position. Negative results (failures)
    // move nothing.
    void Advance(int32_t moved);

    int64_t position = 0;
};

}  // namespace vfs
