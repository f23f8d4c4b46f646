// LzPrefixChains: the LZ encoder's shortcut through long candidate chains.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace vfs {

// Hash chains of the input positions by their first P bytes, for a few
// prefix lengths P. The encoder's own chains link positions by the hash of
// their first three bytes, and its walk may visit thousands of them; yet
// once its best match is L bytes long, only a candidate that shares the
// first L + 1 bytes can replace it. Those candidates all lie on the chain of
// the longest prefix length P <= L + 1, in the same most-recent-first order,
// so the walk can go on there: it skips only candidates that could not have
// changed its choice, and the encoder's output stays exactly the same.
//
// Each chain is a ring of positions like the encoder's own (RingSize()
// covers the window or the whole input, whichever is shorter), so an entry
// reached from a position inside the window is always intact.
class LzPrefixChains {
  public:
    static constexpr int kLevels = 3;
    static constexpr int32_t kPrefix[kLevels] = {4, 8, 16};

    // Tables for an input of n bytes; Ready() is false when they could not
    // be allocated, and the encoder then walks its own chains only.
    LzPrefixChains(const uint8_t* src, int32_t n) : src(src), n(n) {
        bits = 10;
        while (bits < 16 && (int64_t{1} << bits) < n) {
            ++bits;
        }
        ringMask = 1;
        while (ringMask < 131072 && ringMask < n) {
            ringMask <<= 1;
        }
        ringMask -= 1;
        const size_t heads = size_t{1} << bits;
        const size_t ring = static_cast<size_t>(ringMask) + 1;
        tables.reset(new (std::nothrow) int32_t[kLevels * (heads + ring)]);
        if (tables == nullptr) {
            return;
        }
        for (int level = 0; level < kLevels; ++level) {
            head[level] = tables.get() + level * heads;
            chain[level] = tables.get() + kLevels * heads + level * ring;
            std::fill(head[level], head[level] + heads, -1);
        }
    }

    bool Ready() const { return tables != nullptr; }

    // Links position p into every chain; positions are inserted once each,
    // in ascending order, like the encoder's own.
    void Insert(int32_t p) {
        for (int level = 0; level < kLevels; ++level) {
            const uint32_t h = Hash(level, p);
            chain[level][p & ringMask] = head[level][h];
            head[level][h] = p;
        }
    }

    // The deepest level whose prefix is at most `length` bytes, or -1.
    static int LevelFor(int32_t length) {
        int level = -1;
        while (level + 1 < kLevels && kPrefix[level + 1] <= length) {
            ++level;
        }
        return level;
    }

    // The most recent position below `below` on the chain of position i at
    // `level` (i has at least kPrefix[level] bytes left). Every position it
    // passes on the way is at or above `below`, and so was already visited.
    int32_t FirstBelow(int level, int32_t i, int32_t below) const {
        int32_t k = head[level][Hash(level, i)];
        while (k >= below) {
            k = chain[level][k & ringMask];
        }
        return k;
    }

    int32_t Next(int level, int32_t k) const { return chain[level][k & ringMask]; }

  private:
    static uint64_t Load64(const uint8_t* p) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
    }

    // The hash of the first kPrefix[level] bytes at p. Positions with fewer
    // bytes left share bucket 0: no walk can want them at that level, since
    // a candidate there must share more bytes with a later position than
    // remain after it.
    uint32_t Hash(int level, int32_t p) const {
        const int32_t length = kPrefix[level];
        if (n - p < length || n - p < 8) {
            return 0;
        }
        const uint8_t* s = src + p;
        uint64_t h;
        if (length <= 8) {
            const uint64_t v = Load64(s);
            h = length == 8 ? v : v & ((uint64_t{1} << (8 * length)) - 1);
        } else {
            h = Load64(s);
            for (int32_t at = 8; at < length; at += 8) {
                uint64_t v = Load64(s + at);
                if (length - at < 8) {
                    v &= (uint64_t{1} << (8 * (length - at))) - 1;
                }
                h = std::rotl(h * 0x9E3779B97F4A7C15ull, 29) ^ v;
            }
        }
        return static_cast<uint32_t>((h * 0x9E3779B97F4A7C15ull) >> (64 - bits));
    }

    const uint8_t* src;
    int32_t n;
    int bits = 10;
    int32_t ringMask = 0;
    std::unique_ptr<int32_t[]> tables;
    int32_t* head[kLevels] = {};
    int32_t* chain[kLevels] = {};
};

}  // namespace vfs
