// The LZ decoder's wide copies against a byte-by-byte reference: random
// command streams with every distance class, overlapping copies and blocks
// ending at every position, decoded far from and near the buffers' ends.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "vfs/codec/lz_codec.h"

namespace vfs {
namespace {

using Bytes = std::vector<uint8_t>;

// Writes random commands with their byte-by-byte meaning into `plain`;
// `block` gets the encoded stream. Distances favour the short ones, where
// copies overlap their own output.
struct BlockBuilder {
    explicit BlockBuilder(uint32_t seed) : rng(seed) {}

    void Literals(size_t count, Bytes& literals) {
        for (size_t i = 0; i < count; ++i) {
            literals.push_back(static_cast<uint8_t>(rng() % 7 == 0 ? rng() : 'a' + rng() % 4));
        }
        plain.insert(plain.end(), literals.begin(), literals.end());
        block.insert(block.end(), literals.begin(), literals.end());
    }

    void Copy(size_t length, size_t distance) {
        for (size_t i = 0; i < length; ++i) {
            plain.push_back(plain[plain.size() - distance]);
        }
    }

    size_t PickDistance(size_t limit) {
        const uint32_t kind = rng() % 4;
        size_t d = kind == 0 ? 1 + rng() % 7 : kind == 1 ? 8 + rng() % 9 : 1 + rng() % limit;
        return std::min(d, plain.size());
    }

    void AddCommand() {
        Bytes literals;
        const uint32_t form = rng() % 4;
        const size_t l = rng() % 4;
        if (form == 3 || plain.size() < 1) {
            const size_t run = (1 + rng() % 28);
            block.push_back(static_cast<uint8_t>(0xE0 + run - 1));
            Literals(run * 4, literals);
            return;
        }
        if (form == 0) {  // short copy
            const size_t n = 3 + rng() % 8;
            const size_t d = PickDistance(1024);
            const size_t dd = d - 1;
            block.push_back(static_cast<uint8_t>(((dd >> 3) & 0x60) | ((n - 3) << 2) | l));
            block.push_back(static_cast<uint8_t>(dd));
            Literals(l, literals);
            Copy(n, d + 0);
        } else if (form == 1) {  // medium copy
            const size_t n = 4 + rng() % 64;
            const size_t d = PickDistance(16384);
            const size_t dd = d - 1;
            block.push_back(static_cast<uint8_t>(0x80 | (n - 4)));
            block.push_back(static_cast<uint8_t>((l << 6) | (dd >> 8)));
            block.push_back(static_cast<uint8_t>(dd));
            Literals(l, literals);
            Copy(n, d);
        } else {  // long copy
            const size_t n = 5 + rng() % 1024;
            const size_t d = PickDistance(131072);
            const size_t dd = d - 1;
            const size_t nn = n - 5;
            block.push_back(
                static_cast<uint8_t>(0xC0 | ((dd >> 12) & 0x10) | ((nn >> 6) & 0x0C) | l));
            block.push_back(static_cast<uint8_t>(dd >> 8));
            block.push_back(static_cast<uint8_t>(dd));
            block.push_back(static_cast<uint8_t>(nn));
            Literals(l, literals);
            Copy(n, d);
        }
    }

    // The whole block: header, the commands, a stop command with `last`
    // literals.
    Bytes Finish(size_t last) {
        Bytes literals;
        block.push_back(static_cast<uint8_t>(0xFC + last));
        Literals(last, literals);
        Bytes whole = {0x10, 0xFB, static_cast<uint8_t>(plain.size() >> 16),
                       static_cast<uint8_t>(plain.size() >> 8), static_cast<uint8_t>(plain.size())};
        whole.insert(whole.end(), block.begin(), block.end());
        return whole;
    }

    std::mt19937 rng;
    Bytes plain;
    Bytes block;
};

TEST(LzDecodePathsTest, RandomCommandStreamsDecodeAsTheByteByByteCopy) {
    LzCodec codec;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        BlockBuilder builder(seed);
        // A first literal run, so that every copy has something behind it.
        builder.block.push_back(0xE3);
        Bytes first;
        builder.Literals(16, first);
        const size_t commands = seed % 3 == 0 ? 5 + seed : 200 + seed * 37;
        for (size_t i = 0; i < commands; ++i) {
            builder.AddCommand();
        }
        const Bytes block = builder.Finish(seed % 4);
        const Bytes& plain = builder.plain;
        if (plain.size() > static_cast<size_t>(LZ_MAX_SIZE)) {
            continue;
        }
        Bytes out(plain.size());
        ASSERT_EQ(
            codec.DecompressBounded(out.data(), static_cast<int32_t>(out.size()), block.data(),
                                    static_cast<int32_t>(block.size()), nullptr),
            static_cast<int32_t>(plain.size()))
            << "seed " << seed;
        EXPECT_EQ(out, plain) << "seed " << seed;
        // The trusting decoder, into a buffer of exactly the size, too.
        Bytes trusted(plain.size());
        EXPECT_EQ(codec.Decompress(trusted.data(), block.data(), nullptr),
                  static_cast<int32_t>(plain.size()));
        EXPECT_EQ(trusted, plain) << "seed " << seed;
        // Cut anywhere, the block is refused, and never read past its cut.
        for (size_t cut : {block.size() - 1, block.size() / 2, block.size() * 3 / 4}) {
            Bytes shortBlock(block.begin(), block.begin() + static_cast<ptrdiff_t>(cut));
            EXPECT_EQ(codec.DecompressBounded(out.data(), static_cast<int32_t>(out.size()),
                                              shortBlock.data(),
                                              static_cast<int32_t>(shortBlock.size()), nullptr),
                      0);
        }
    }
}

TEST(LzDecodePathsTest, ACopyFromBeforeTheOutputIsRefusedFarFromTheEnds) {
    // 2000 literals, then a long copy reaching 3000 back, then more literals
    // so that the copy is decoded by the unchecked-ends loop.
    Bytes block = {0x10, 0xFB, 0x00, 0x00, 0x00};
    Bytes plain;
    for (int run = 0; run < 18; ++run) {
        block.push_back(0xFB);  // 112 literals
        for (int i = 0; i < 112; ++i) {
            block.push_back(static_cast<uint8_t>(i));
        }
    }
    const uint32_t d = 3000 - 1;
    block.insert(block.end(), {0xC0, static_cast<uint8_t>(d >> 8), static_cast<uint8_t>(d), 10});
    for (int run = 0; run < 20; ++run) {
        block.push_back(0xFB);
        block.insert(block.end(), 112, 0x55);
    }
    block.push_back(0xFC);
    const uint32_t size = 18 * 112 + 15 + 20 * 112;
    block[2] = static_cast<uint8_t>(size >> 16);
    block[3] = static_cast<uint8_t>(size >> 8);
    block[4] = static_cast<uint8_t>(size);
    Bytes out(size);
    LzCodec codec;
    EXPECT_EQ(codec.DecompressBounded(out.data(), static_cast<int32_t>(size), block.data(),
                                      static_cast<int32_t>(block.size()), nullptr),
              0);
}

}  // namespace
}  // namespace vfs
