#include "vfs/codec/codec_io.h"

namespace vfs {

int32_t CallbackCodecIo::WriteChunk(const uint8_t* buffer, int32_t count) {
    return writeFunction != nullptr ? writeFunction(buffer, count, userValue) : 0;
}

int32_t CallbackCodecIo::ReadChunk(uint8_t* buffer, int32_t count) {
    return readFunction != nullptr ? readFunction(buffer, count, userValue) : 0;
}

}  // namespace vfs
