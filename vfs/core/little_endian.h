// Explicit little-endian access to archive bytes, independent of the host's
// byte order and alignment.
#pragma once

#include <cstdint>

namespace vfs {

// The unsigned 32-bit value stored little-endian in the four bytes at `bytes`.
inline uint32_t LoadLe32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// The unsigned 64-bit value stored little-endian in the eight bytes at
// `bytes`.
inline uint64_t LoadLe64(const uint8_t* bytes) {
    return static_cast<uint64_t>(LoadLe32(bytes)) |
           (static_cast<uint64_t>(LoadLe32(bytes + 4)) << 32);
}

// Stores `value` little-endian in the four bytes at `bytes`.
inline void StoreLe32(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
}

}  // namespace vfs
