// The library's one shared ZlibCodec and the reader-driven decode through it.
#pragma once

#include <cstdint>

#include "vfs/codec/codec_io.h"
#include "vfs/codec/zlib_codec.h"

namespace vfs {

// The shared codec, made on first use and destroyed at program exit.
ZlibCodec& GetZlibCodec();

// Decodes a zlib-framed block that readFunction delivers chunk by chunk
// into `buffer` (bufferSize bytes, at least 30), through the shared codec's
// DecompressFromReader. dest must hold the header's size.
int32_t DecompressWithReader(uint8_t* dest, uint8_t* buffer, int32_t bufferSize,
                             CodecReadFunction readFunction, void* userValue, void* work);

// As DecompressWithReader into a dest of destCapacity bytes; a header that
// records more than that fails.
int32_t DecompressWithReaderBounded(uint8_t* dest, int32_t destCapacity, uint8_t* buffer,
                                    int32_t bufferSize, CodecReadFunction readFunction,
                                    void* userValue, void* work);

}  // namespace vfs
