// The encoder against a plain rendering of its algorithm (greedy, full
// hash-chain walk, no shortcuts): the same bytes for every kind of input,
// so that its shortcuts never change a block.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "tests/codec/codec_test_data.h"
#include "vfs/codec/lz_codec.h"

namespace vfs {
namespace {

using testing::Bytes;

// The encoder as the format describes it, one byte at a time.
class ReferenceEncoder {
  public:
    explicit ReferenceEncoder(const Bytes& input)
        : src(input), n(static_cast<int32_t>(input.size())) {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t crc = i;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
            }
            table[i] = static_cast<uint16_t>(crc);
        }
    }

    Bytes Run() {
        out = {0x10, 0xFB, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
               static_cast<uint8_t>(n)};
        head.assign(65536, -1);
        chain.assign(131072, -1);
        int32_t i = 0;
        while (i < n) {
            int32_t bestLength = 2;
            int32_t bestSize = 2;
            int32_t bestOffset = 0;
            const int32_t remaining = n - i;
            if (remaining >= 3) {
                const int32_t maxLength = std::min(remaining, 1028);
                const int32_t floor = std::max(i - 131071, 0);
                for (int32_t k = head[Hash(i)]; k >= floor; k = chain[k & 0x1FFFF]) {
                    if (bestLength == maxLength) {
                        break;
                    }
                    int32_t length = 0;
                    while (length < maxLength && src[k + length] == src[i + length]) {
                        ++length;
                    }
                    if (length <= bestLength) {
                        continue;
                    }
                    const int32_t offset = i - k - 1;
                    const int32_t size = (offset < 1024 && length <= 10)    ? 2
                                         : (offset < 16384 && length <= 67) ? 3
                                                                            : 4;
                    if (length - size > bestLength - bestSize) {
                        bestLength = length;
                        bestSize = size;
                        bestOffset = offset;
                        if (length >= 1028) {
                            break;
                        }
                    }
                }
            }
            if (bestSize < bestLength) {
                Runs(i);
                const uint32_t l = static_cast<uint32_t>(i - literalStart);
                const uint32_t d = static_cast<uint32_t>(bestOffset);
                if (bestSize == 2) {
                    const uint32_t len = static_cast<uint32_t>(bestLength - 3);
                    Put(((d >> 3) & 0x60) | (len << 2) | l);
                    Put(d);
                } else if (bestSize == 3) {
                    Put(0x80 | static_cast<uint32_t>(bestLength - 4));
                    Put((l << 6) | (d >> 8));
                    Put(d);
                } else {
                    const uint32_t len = static_cast<uint32_t>(bestLength - 5);
                    Put(0xC0 | ((d >> 12) & 0x10) | ((len >> 6) & 0x0C) | l);
                    Put(d >> 8);
                    Put(d);
                    Put(len);
                }
                Literals(static_cast<int32_t>(l));
                for (int32_t p = i; p < i + bestLength; ++p) {
                    Insert(p);
                }
                i += bestLength;
                literalStart = i;
            } else {
                Insert(i);
                ++i;
            }
        }
        Runs(n);
        const int32_t pending = n - literalStart;
        Put(0xFC + static_cast<uint32_t>(pending));
        Literals(pending);
        return out;
    }

  private:
    uint32_t Hash(int32_t p) const {
        const uint32_t b1 = p + 1 < n ? src[p + 1] : 0;
        const uint32_t b2 = p + 2 < n ? src[p + 2] : 0;
        uint32_t h = table[src[p]];
        h = table[(h ^ b1) & 0xFF] ^ (h >> 8);
        return table[(h ^ b2) & 0xFF] ^ (h >> 8);
    }
    void Insert(int32_t p) {
        const uint32_t h = Hash(p);
        chain[p & 0x1FFFF] = head[h];
        head[h] = p;
    }
    void Put(uint32_t byte) { out.push_back(static_cast<uint8_t>(byte)); }
    void Literals(int32_t count) {
        for (int32_t j = 0; j < count; ++j) {
            Put(src[literalStart++]);
        }
    }
    void Runs(int32_t end) {
        while (end - literalStart > 3) {
            const int32_t run = std::min((end - literalStart) & ~3, 112);
            Put(0xE0 + static_cast<uint32_t>(run / 4 - 1));
            Literals(run);
        }
    }

    const Bytes& src;
    const int32_t n;
    std::array<uint16_t, 256> table{};
    std::vector<int32_t> head;
    std::vector<int32_t> chain;
    Bytes out;
    int32_t literalStart = 0;
};

Bytes Encode(const Bytes& input) {
    LzCodec codec;
    Bytes block(
        static_cast<size_t>(LzCodec::GetMaxCompressedSize(static_cast<int32_t>(input.size()))));
    const uint8_t none = 0;
    block.resize(
        static_cast<size_t>(codec.Compress(block.data(), input.empty() ? &none : input.data(),
                                           static_cast<int32_t>(input.size()), nullptr)));
    return block;
}

// Long repeats at every distance, runs, text, noise and all their edges.
std::vector<Bytes> Inputs() {
    std::vector<Bytes> inputs;
    inputs.push_back(testing::TextLike(300000, 11));
    inputs.push_back(testing::RandomBytes(5000, 12));
    Bytes runs;
    for (int i = 0; i < 3000; ++i) {
        runs.insert(runs.end(), static_cast<size_t>(1 + i % 37), static_cast<uint8_t>(i % 3));
    }
    inputs.push_back(runs);
    // A block repeated beyond the window with small changes: long matches at
    // the window's edge and prefixes shared for 4 to 40 bytes.
    const Bytes base = testing::TextLike(70000, 13);
    Bytes repeated;
    for (int copy = 0; copy < 3; ++copy) {
        Bytes changed = base;
        for (size_t at = static_cast<size_t>(copy) * 7; at < changed.size(); at += 41 + copy) {
            changed[at] ^= 0x20;
        }
        repeated.insert(repeated.end(), changed.begin(), changed.end());
    }
    inputs.push_back(repeated);
    Bytes words;
    const char* const vocabulary[] = {
        "abc", "abcd", "abcde", "abcdef", "abcdefgh", "abcdefghijkl", "abcdefghijklmnop", "x"};
    std::mt19937 rng(14);
    while (words.size() < 200000) {
        const char* word = vocabulary[rng() % 8];
        words.insert(words.end(), word, word + std::char_traits<char>::length(word));
    }
    inputs.push_back(words);
    for (size_t size : {0, 1, 3, 7, 8, 9, 17, 33, 100}) {
        Bytes small = testing::TextLike(size + 1, 15);
        small.resize(size);
        inputs.push_back(small);
    }
    return inputs;
}

TEST(LzEncoderReferenceTest, GivesTheBytesOfThePlainAlgorithm) {
    for (const Bytes& input : Inputs()) {
        ReferenceEncoder reference(input);
        EXPECT_EQ(Encode(input), reference.Run()) << "input of " << input.size() << " bytes";
    }
}

}  // namespace
}  // namespace vfs
