// ZlibEntryStream: an archive entry stored as a zlib-framed block, decoded
// into memory.
#pragma once

#include "vfs/stream/memory_stream.h"

namespace vfs {

// Init(size) with the entry's unpacked size, then set it into the handle that
// holds the entry's stored bytes (a RangeStream): Attach pulls the block
// through the shared zlib codec in chunks of kChunkSize bytes and decodes it
// at once. GetStatus() then tells whether the entry opened: it fails unless
// the block is intact and decodes to exactly `size` bytes.
class ZlibEntryStream : public MemoryStream {
  public:
    static constexpr int32_t kChunkSize = 16384;

    ZlibEntryStream() : MemoryStream(true) {}

    // Stacks over `stream` and, the first time, decodes its whole contents.
    void Attach(Stream* stream) override;

  private:
    bool Decode();
};

}  // namespace vfs
