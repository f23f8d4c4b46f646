#include "vfs/wad/wad_path_hash.h"

#include <cstring>

namespace vfs {

namespace {

// The byte as a signed 8-bit value with a-z mapped to A-Z, widened to 32 bits
// two's-complement so that the sum wraps modulo 2^32 without signed overflow.
uint32_t SignedUpper(char ch) {
    int32_t x = static_cast<int8_t>(static_cast<uint8_t>(ch));
    if (x >= 'a' && x <= 'z') {
        x -= 'a' - 'A';
    }
    return static_cast<uint32_t>(x);
}

}  // namespace

uint32_t WadPathHash(const char* path, uint32_t length) {
    uint32_t h = 0;
    uint32_t i = 0;
    for (; length - i >= 4; i += 4) {
        h += SignedUpper(path[i]) + 2 * SignedUpper(path[i + 1]) + 4 * SignedUpper(path[i + 2]) +
             8 * SignedUpper(path[i + 3]);
    }
    for (; i < length; ++i) {
        h += SignedUpper(path[i]) & 0xFF;
    }
    return h;
}

uint32_t WadPathHash(const char* path) {
    return WadPathHash(path, static_cast<uint32_t>(std::strlen(path)));
}

}  // namespace vfs
