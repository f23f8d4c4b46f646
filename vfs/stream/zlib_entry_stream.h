// ZlibEntryStream: an archive entry stored as a zlib-framed block, decoded
// into memory.
#pragma once

#include "vfs/stream/memory_stream.h"

namespace vfs {

// Init(size) with the entry's unpacked size, then set it into the handle that
// holds the entry's stored bytes (a RangeStream): Attach reads the whole block
// and decodes it at once, the way the shared codec's chunked reader decodes
// it. GetStatus() then tells whether the entry opened: it fails unless the
// block is intact and decodes to exactly `size` bytes.
class ZlibEntryStream : public MemoryStream {
  public:
    ZlibEntryStream() : MemoryStream(true) {}

    // Stacks over `stream` and, the first time, decodes its whole contents.
    void Attach(Stream* stream) override;

  private:
    bool Decode();
};

}  // namespace vfs
