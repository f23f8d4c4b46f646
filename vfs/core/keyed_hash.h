// KeyedHash: the hash of the tables that names from archives and from the
// disk fill, keyed with a random key of the process, so that no one who
// chooses the names can make them collide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vfs/core/export.h"
#include "vfs/core/little_endian.h"

namespace vfs {

// A 128-bit SipHash key.
struct TARNVFS_API HashKey {
    uint64_t k0 = 0;
    uint64_t k1 = 0;
};

// SipHash-C-D of the `length` bytes at `data` under `key`: C rounds for
// each 8-byte block, D to finish. A keyed function whose values cannot be
// foretold without the key, so that names chosen without it collide no more
// often than random ones, in all 64 bits or in any few of them.
template <int C, int D>
uint64_t SipHash(const HashKey& key, const void* data, size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    uint64_t v0 = key.k0 ^ 0x736F6D6570736575ull;
    uint64_t v1 = key.k1 ^ 0x646F72616E646F6Dull;
    uint64_t v2 = key.k0 ^ 0x6C7967656E657261ull;
    uint64_t v3 = key.k1 ^ 0x7465646279746573ull;
    auto rotl = [](uint64_t x, int b) { return (x << b) | (x >> (64 - b)); };
    auto round = [&] {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    };
    auto compress = [&](uint64_t m) {
        v3 ^= m;
        for (int i = 0; i < C; ++i) {
            round();
        }
        v0 ^= m;
    };
    const size_t whole = length & ~size_t{7};
    for (size_t i = 0; i < whole; i += 8) {
        compress(LoadLe64(bytes + i));
    }
    uint64_t last = static_cast<uint64_t>(length) << 56;
    for (size_t j = length - whole; j > 0; --j) {
        last |= uint64_t{bytes[whole + j - 1]} << (8 * (j - 1));
    }
    compress(last);
    v2 ^= 0xFF;
    for (int i = 0; i < D; ++i) {
        round();
    }
    return v0 ^ v1 ^ v2 ^ v3;
}

// The process's key: random bytes from the host, drawn at the first call.
// Where the host gives none, the clocks and the addresses of the run make
// one, which still differs from run to run but can be guessed more easily.
TARNVFS_API const HashKey& ProcessHashKey();

// SipHash-1-3 under the process's key: what hash tables of names use.
inline uint64_t KeyedHash(const void* data, size_t length) {
    return SipHash<1, 3>(ProcessHashKey(), data, length);
}

// KeyedHash as the hash function of a standard container of strings.
struct TARNVFS_API KeyedStringHash {
    size_t operator()(std::string_view text) const noexcept {
        return static_cast<size_t>(KeyedHash(text.data(), text.size()));
    }
};

}  // namespace vfs
