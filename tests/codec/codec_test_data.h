// Inputs for the codec tests: random bytes, text-like data full of repeats,
// and helpers to compare byte buffers.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vfs::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes bytes(count);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(rng());
    }
    return bytes;
}

// Words drawn from a small vocabulary, with occasional runs of one byte and
// short random stretches: matches of every length and distance.
inline Bytes TextLike(size_t count, uint32_t seed) {
    static const char* const kWords[] = {"the ",   "archive ", "of ",     "tarnhollow ", "entry ",
                                         "block ", "copy ",    "stream ", "\n",          "data "};
    std::mt19937 rng(seed);
    Bytes bytes;
    bytes.reserve(count);
    while (bytes.size() < count) {
        const uint32_t pick = rng() % 100;
        if (pick < 85) {
            const std::string word = kWords[rng() % 10];
            bytes.insert(bytes.end(), word.begin(), word.end());
        } else if (pick < 92) {
            bytes.insert(bytes.end(), 1 + rng() % 2000, static_cast<uint8_t>(rng()));
        } else {
            for (uint32_t i = 0, n = rng() % 40; i < n; ++i) {
                bytes.push_back(static_cast<uint8_t>(rng()));
            }
        }
    }
    bytes.resize(count);
    return bytes;
}

}  // namespace vfs::testing
