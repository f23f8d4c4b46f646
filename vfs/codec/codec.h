// The block codec interface: a codec turns a buffer into one self-contained
// compressed block and back. Codecs keep no state between calls.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"

namespace vfs {

// All sizes are signed 32-bit byte counts; buffers belong to the caller.
// Having no state, a codec serves any number of threads at once, each call
// with a work area of its own (or none, to let the codec allocate one).
// Every operation reports failure as 0.
class TARNVFS_API Codec {
  public:
    virtual ~Codec() = default;

    // Compresses srcLength bytes from src into dest. `work` is a scratch area
    // of GetCompressWorkSize() bytes, or null to let the codec allocate one.
    // Returns the block length, header included, or 0.
    virtual int32_t Compress(uint8_t* dest, const uint8_t* src, int32_t srcLength, void* work) = 0;

    // Decodes the block at src into dest, trusting the block: dest must hold
    // the size the block's header records and src must be a whole, intact
    // block. `work` is a scratch area of GetDecompressWorkSize() bytes or
    // null. Returns the decompressed size, or 0.
    virtual int32_t Decompress(uint8_t* dest, const uint8_t* src, void* work) = 0;

    virtual int32_t GetCompressWorkSize() = 0;
    virtual int32_t GetDecompressWorkSize() = 0;

    // The decompressed size that the block's header records, or 0.
    virtual int32_t GetDecompressedSize(const uint8_t* src) = 0;

    // Decodes the block of srcLength bytes at src into dest, which holds
    // destCapacity bytes, reading and writing nothing outside those ranges
    // whatever the block says. A block that is cut short, damaged, or larger
    // than destCapacity gives 0. Returns the decompressed size otherwise.
    virtual int32_t DecompressBounded(uint8_t* dest, int32_t destCapacity, const uint8_t* src,
                                      int32_t srcLength, void* work) = 0;
};

}  // namespace vfs
