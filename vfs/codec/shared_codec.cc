#include "vfs/codec/shared_codec.h"

namespace vfs {

ZlibCodec& GetZlibCodec() {
    static ZlibCodec codec;
    return codec;
}

int32_t DecompressWithReader(uint8_t* dest, uint8_t* buffer, int32_t bufferSize,
                             CodecReadFunction readFunction, void* userValue, void* work) {
    CallbackCodecIo io(nullptr, readFunction, userValue);
    return GetZlibCodec().DecompressFromReader(dest, buffer, bufferSize, work, io);
}

int32_t DecompressWithReaderBounded(uint8_t* dest, int32_t destCapacity, uint8_t* buffer,
                                    int32_t bufferSize, CodecReadFunction readFunction,
                                    void* userValue, void* work) {
    CallbackCodecIo io(nullptr, readFunction, userValue);
    return GetZlibCodec().DecompressFromReaderBounded(dest, destCapacity, buffer, bufferSize, work,
                                                      io);
}

}  // namespace vfs
