// The chunk source and sink of the streaming codec operations.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"

namespace vfs {

class TARNVFS_API CodecIo {
  public:
    virtual ~CodecIo() = default;

    // Takes the `count` bytes at buffer. Returns the number of bytes taken;
    // fewer than `count` is a failure that ends the operation.
    virtual int32_t WriteChunk(const uint8_t* buffer, int32_t count) = 0;

    // Fills buffer with up to `count` bytes. Returns the number of bytes
    // placed; 0 or less means that no more input will come.
    virtual int32_t ReadChunk(uint8_t* buffer, int32_t count) = 0;
};

using CodecWriteFunction = int32_t (*)(const uint8_t* buffer, int32_t count, void* userValue);
using CodecReadFunction = int32_t (*)(uint8_t* buffer, int32_t count, void* userValue);

// A CodecIo over two plain functions and a user value passed to both. A
// missing function takes or delivers nothing (returns 0).
class TARNVFS_API CallbackCodecIo : public CodecIo {
  public:
    CallbackCodecIo(CodecWriteFunction writeFunction, CodecReadFunction readFunction,
                    void* userValue)
        : writeFunction(writeFunction), readFunction(readFunction), userValue(userValue) {}

    int32_t WriteChunk(const uint8_t* buffer, int32_t count) override;
    int32_t ReadChunk(uint8_t* buffer, int32_t count) override;

  private:
    CodecWriteFunction writeFunction;
    CodecReadFunction readFunction;
    void* userValue;
};

}  // namespace vfs
