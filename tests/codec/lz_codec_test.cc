#include "vfs/codec/lz_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/codec/codec_test_data.h"

namespace vfs {
namespace {

using testing::Bytes;
using testing::BytesOf;
using testing::RandomBytes;
using testing::TextLike;

const std::string kPangramTwice =
    "The quick brown fox jumps over the lazy dog. The quick brown fox jumps over the lazy dog.";

Bytes Compress(const Bytes& input) {
    LzCodec codec;
    Bytes block(
        static_cast<size_t>(LzCodec::GetMaxCompressedSize(static_cast<int32_t>(input.size()))));
    const int32_t length =
        codec.Compress(block.data(), input.data(), static_cast<int32_t>(input.size()), nullptr);
    EXPECT_GT(length, 0);
    block.resize(static_cast<size_t>(length));
    return block;
}

// Decodes through the checked path into a buffer of exactly `capacity`
// bytes, from a copy of `block` of exactly its length (so the sanitizers see
// any stray access). Returns the decoder's result; `out` gets the output.
int32_t DecodeBounded(const Bytes& block, size_t capacity, Bytes* out = nullptr) {
    LzCodec codec;
    const Bytes source(block);
    Bytes dest(capacity);
    const int32_t result =
        codec.DecompressBounded(dest.data(), static_cast<int32_t>(dest.size()), source.data(),
                                static_cast<int32_t>(source.size()), nullptr);
    if (out != nullptr) {
        *out = dest;
    }
    return result;
}

Bytes RoundTrip(const Bytes& input) {
    const Bytes block = Compress(input);
    EXPECT_LE(block.size(), static_cast<size_t>(
                                LzCodec::GetMaxCompressedSize(static_cast<int32_t>(input.size()))));
    Bytes out;
    EXPECT_EQ(DecodeBounded(block, input.size(), &out), static_cast<int32_t>(input.size()));
    return out;
}

// One decoded command of a short-header block.
struct Command {
    enum Form { kShort, kMedium, kLong, kRun, kStop } form;
    int32_t literals;
    int32_t length;
    int32_t distance;
};

std::vector<Command> ParseCommands(const Bytes& block) {
    std::vector<Command> commands;
    size_t i = LZ_SHORT_HEADER_SIZE;
    while (i < block.size()) {
        const uint32_t b0 = block[i];
        Command c{};
        if (b0 < 0x80) {
            c = {Command::kShort, static_cast<int32_t>(b0 & 3),
                 static_cast<int32_t>(((b0 >> 2) & 7) + 3),
                 static_cast<int32_t>(((b0 & 0x60) << 3) + block[i + 1] + 1)};
            i += 2;
        } else if (b0 < 0xC0) {
            c = {Command::kMedium, block[i + 1] >> 6, static_cast<int32_t>((b0 & 0x3F) + 4),
                 ((block[i + 1] & 0x3F) << 8) + block[i + 2] + 1};
            i += 3;
        } else if (b0 < 0xE0) {
            c = {
                Command::kLong, static_cast<int32_t>(b0 & 3),
                static_cast<int32_t>(((b0 & 0x0C) << 6) + block[i + 3] + 5),
                static_cast<int32_t>(((b0 & 0x10) << 12) + (block[i + 1] << 8) + block[i + 2] + 1)};
            i += 4;
        } else if (b0 < 0xFC) {
            c = {Command::kRun, static_cast<int32_t>(((b0 & 0x1F) + 1) * 4), 0, 0};
            i += 1;
        } else {
            c = {Command::kStop, static_cast<int32_t>(b0 & 3), 0, 0};
            i += 1;
        }
        i += static_cast<size_t>(c.literals);
        commands.push_back(c);
    }
    EXPECT_EQ(i, block.size());
    return commands;
}

// A block that stores `data` as literal runs only.
Bytes LiteralBlock(const Bytes& data, size_t declaredSize) {
    Bytes block = {LZ_HEADER_FLAGS, LZ_MAGIC, static_cast<uint8_t>(declaredSize >> 16),
                   static_cast<uint8_t>(declaredSize >> 8), static_cast<uint8_t>(declaredSize)};
    size_t i = 0;
    while (data.size() - i > 3) {
        const size_t run = std::min<size_t>((data.size() - i) & ~size_t{3}, 112);
        block.push_back(static_cast<uint8_t>(0xE0 + run / 4 - 1));
        block.insert(block.end(), data.begin() + static_cast<ptrdiff_t>(i),
                     data.begin() + static_cast<ptrdiff_t>(i + run));
        i += run;
    }
    block.push_back(static_cast<uint8_t>(0xFC + data.size() - i));
    block.insert(block.end(), data.begin() + static_cast<ptrdiff_t>(i), data.end());
    return block;
}

// ------------------------------------------------------------- the format

TEST(LzCodecTest, EncodesTheReferenceBlocks) {
    Bytes pangramBlock = {0x10, 0xFB, 0x00, 0x00, 0x59, 0xE7};
    const Bytes pangram = BytesOf(kPangramTwice);
    pangramBlock.insert(pangramBlock.end(), pangram.begin(), pangram.begin() + 32);
    for (uint8_t b : Bytes{0x00, 0x1E, 0xE1, 'l', 'a', 'z', 'y', ' ', 'd', 'o', 'g', 0xA8, 0x80,
                           0x2C, 0x2E, 0x20, 0xFC}) {
        pangramBlock.push_back(b);
    }
    ASSERT_EQ(pangramBlock.size(), 55u);

    const struct {
        Bytes input;
        Bytes block;
    } cases[] = {
        {{}, {0x10, 0xFB, 0x00, 0x00, 0x00, 0xFC}},
        {BytesOf("abc"), {0x10, 0xFB, 0x00, 0x00, 0x03, 0xFF, 0x61, 0x62, 0x63}},
        {Bytes(69, 0x61), {0x10, 0xFB, 0x00, 0x00, 0x45, 0xC1, 0x00, 0x00, 0x3F, 0x61, 0xFC}},
        {BytesOf("abcabcabcabc"),
         {0x10, 0xFB, 0x00, 0x00, 0x0C, 0x1B, 0x02, 0x61, 0x62, 0x63, 0xFC}},
        {pangram, pangramBlock},
        // Seven pending literals: a run of four, the other three ride on the copy.
        {BytesOf("abcdefgabcdefg"),
         {0x10, 0xFB, 0x00, 0x00, 0x0E, 0xE0, 'a', 'b', 'c', 'd', 0x13, 0x06, 'e', 'f', 'g', 0xFC}},
    };
    LzCodec codec;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input.begin(), c.input.end()));
        EXPECT_EQ(Compress(c.input), c.block);
        Bytes out;
        EXPECT_EQ(DecodeBounded(c.block, c.input.size(), &out),
                  static_cast<int32_t>(c.input.size()));
        EXPECT_EQ(out, c.input);
        Bytes trusted(c.input.size() + 1);
        EXPECT_EQ(codec.Decompress(trusted.data(), c.block.data(), nullptr),
                  static_cast<int32_t>(c.input.size()));
        trusted.pop_back();
        EXPECT_EQ(trusted, c.input);
    }
}

TEST(LzCodecTest, ReadsBothHeaderForms) {
    const Bytes input = BytesOf(kPangramTwice);
    const Bytes shortBlock = Compress(input);
    Bytes longBlock = shortBlock;
    longBlock[0] = 0x11;
    longBlock.insert(longBlock.begin() + 2, {0xAA, 0xBB, 0xCC});

    LzCodec codec;
    EXPECT_EQ(codec.GetDecompressedSize(shortBlock.data()), 89);
    EXPECT_EQ(codec.GetDecompressedSize(longBlock.data()), 89);
    Bytes out;
    EXPECT_EQ(DecodeBounded(longBlock, input.size(), &out), 89);
    EXPECT_EQ(out, input);
    Bytes trusted(input.size());
    EXPECT_EQ(codec.Decompress(trusted.data(), longBlock.data(), nullptr), 89);
    EXPECT_EQ(trusted, input);

    // The decoder goes by bit 0 alone and does not check the magic.
    Bytes oddMagic = shortBlock;
    oddMagic[0] = 0x12;
    oddMagic[1] = 0x00;
    EXPECT_EQ(DecodeBounded(oddMagic, input.size(), &out), 89);
    EXPECT_EQ(out, input);
    EXPECT_EQ(codec.GetDecompressedSize(nullptr), 0);
    EXPECT_EQ(codec.Decompress(out.data(), nullptr, nullptr), 0);
}

TEST(LzCodecTest, AnswersItsWorkSizes) {
    LzCodec codec;
    EXPECT_EQ(codec.GetCompressWorkSize(), 786432);
    EXPECT_EQ(codec.GetDecompressWorkSize(), 0);
}

TEST(LzCodecTest, RefusesInputsTheHeaderCannotDescribe) {
    LzCodec codec;
    const Bytes input(static_cast<size_t>(LZ_MAX_SIZE) + 1, 'a');
    Bytes block(64, 0xEE);
    EXPECT_EQ(codec.Compress(block.data(), input.data(), LZ_MAX_SIZE + 1, nullptr), 0);
    EXPECT_EQ(block, Bytes(64, 0xEE));
}

// ------------------------------------------------------------- round trips

TEST(LzCodecTest, RoundTripsRandomAndStructuredData) {
    for (size_t size : {0u, 1u, 2u, 3u, 4u, 5u, 7u, 111u, 112u, 113u, 116u, 1000u, 65537u}) {
        SCOPED_TRACE(size);
        const Bytes random = RandomBytes(size, static_cast<uint32_t>(size));
        EXPECT_EQ(RoundTrip(random), random);
        const Bytes text = TextLike(size, static_cast<uint32_t>(size) + 1);
        EXPECT_EQ(RoundTrip(text), text);
    }
    const Bytes bigText = TextLike(3 << 20, 7);
    const Bytes bigBlock = Compress(bigText);
    EXPECT_LT(bigBlock.size(), bigText.size() / 4);
    Bytes out;
    EXPECT_EQ(DecodeBounded(bigBlock, bigText.size(), &out), 3 << 20);
    EXPECT_EQ(out, bigText);
    const Bytes bigRandom = RandomBytes(1 << 20, 9);
    EXPECT_EQ(RoundTrip(bigRandom), bigRandom);
}

TEST(LzCodecTest, KeepsCopiesWithinTheFormatLimits) {
    Bytes input = TextLike(600000, 3);
    input.insert(input.begin() + 1000, 5000, 'z');  // far longer than one copy
    const Bytes block = Compress(input);
    int32_t longestCopy = 0;
    int32_t farthest = 0;
    int32_t produced = 0;
    for (const Command& c : ParseCommands(block)) {
        longestCopy = std::max(longestCopy, c.length);
        farthest = std::max(farthest, c.distance);
        produced += c.literals + c.length;
    }
    EXPECT_EQ(longestCopy, LZ_MAX_COPY_LENGTH);
    EXPECT_LE(farthest, LZ_WINDOW);
    EXPECT_EQ(produced, static_cast<int32_t>(input.size()));
    EXPECT_EQ(RoundTrip(input), input);
}

// A repeat of 8 random bytes at the given distance: the form of the copy
// that the encoder picks for it, or kStop if it finds none.
Command::Form FormForRepeatAt(int32_t distance) {
    const Bytes motif = RandomBytes(8, 100);
    Bytes input = motif;
    const Bytes filler = RandomBytes(static_cast<size_t>(distance) - motif.size(), 101);
    input.insert(input.end(), filler.begin(), filler.end());
    input.insert(input.end(), motif.begin(), motif.end());
    EXPECT_EQ(RoundTrip(input), input);
    for (const Command& c : ParseCommands(Compress(input))) {
        if (c.length == 8) {
            EXPECT_EQ(c.distance, distance);
            return c.form;
        }
    }
    return Command::kStop;
}

TEST(LzCodecTest, PicksTheSmallestCopyFormAndStaysInTheWindow) {
    EXPECT_EQ(FormForRepeatAt(1024), Command::kShort);
    EXPECT_EQ(FormForRepeatAt(1025), Command::kMedium);
    EXPECT_EQ(FormForRepeatAt(16384), Command::kMedium);
    EXPECT_EQ(FormForRepeatAt(16385), Command::kLong);
    EXPECT_EQ(FormForRepeatAt(131071), Command::kLong);
    EXPECT_EQ(FormForRepeatAt(131072), Command::kStop);  // out of the encoder's window
}

TEST(LzCodecTest, DecodesTheFarthestDistanceTheFormatExpresses) {
    const Bytes data = RandomBytes(131072, 5);
    Bytes block = LiteralBlock(data, data.size() + 5);
    block.pop_back();  // the stop command: a long copy of N = 5 from D = 131072 goes first
    for (uint8_t b : {0xD0, 0xFF, 0xFF, 0x00, 0xFC}) {
        block.push_back(b);
    }
    Bytes out;
    ASSERT_EQ(DecodeBounded(block, data.size() + 5, &out), 131077);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + 5, out.begin() + 131072));
}

TEST(LzCodecTest, GivesTheSameBlockWithAnyWorkArea) {
    const Bytes input = TextLike(200000, 11);
    const Bytes expected = Compress(input);
    LzCodec codec;
    std::vector<uint8_t> work(static_cast<size_t>(codec.GetCompressWorkSize()) + 1, 0x5A);
    Bytes block(expected.size() + 16);
    for (uint8_t* area : {work.data(), work.data() + 1}) {  // aligned, then misaligned
        for (int pass = 0; pass < 2; ++pass) {              // the area left dirty by the first pass
            const int32_t length = codec.Compress(block.data(), input.data(),
                                                  static_cast<int32_t>(input.size()), area);
            ASSERT_EQ(length, static_cast<int32_t>(expected.size()));
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), block.begin()));
        }
    }
}

// ------------------------------------------------------------- malformed blocks

TEST(LzCodecBoundedTest, RejectsEveryTruncationOfABlock) {
    const Bytes input = BytesOf(kPangramTwice);
    const Bytes block = Compress(input);
    for (size_t length = 0; length < block.size(); ++length) {
        SCOPED_TRACE(length);
        EXPECT_EQ(
            DecodeBounded(Bytes(block.begin(), block.begin() + static_cast<ptrdiff_t>(length)),
                          input.size()),
            0);
    }
    LzCodec codec;
    uint8_t dest[4];
    EXPECT_EQ(codec.DecompressBounded(dest, 4, nullptr, 10, nullptr), 0);
}

TEST(LzCodecBoundedTest, RejectsASizeAboveTheCapacity) {
    const Bytes input = TextLike(5000, 2);
    const Bytes block = Compress(input);
    EXPECT_EQ(DecodeBounded(block, input.size() - 1), 0);
    EXPECT_EQ(DecodeBounded(block, 0), 0);
    Bytes out;
    EXPECT_EQ(DecodeBounded(block, input.size() + 100, &out), 5000);
    EXPECT_TRUE(std::equal(input.begin(), input.end(), out.begin()));
}

TEST(LzCodecBoundedTest, RejectsCopiesFromBeforeTheStart) {
    const Bytes blocks[] = {
        {0x10, 0xFB, 0x00, 0x00, 0x03, 0x00, 0x00, 0xFC},       // short copy, no output yet
        {0x10, 0xFB, 0x00, 0x00, 0x04, 0x01, 0x01, 'a', 0xFC},  // D = 2 after one literal
        {0x10, 0xFB, 0x00, 0x00, 0x06, 0x80, 0x82, 0x00, 'a', 'b', 0xFC},  // medium, D = 513
        {0x10, 0xFB, 0x00, 0x00, 0x08, 0xD3, 0x00, 0x00, 0x00, 'a', 'b', 'c', 0xFC},  // long
    };
    for (const Bytes& block : blocks) {
        EXPECT_EQ(DecodeBounded(block, 64), 0);
    }
    // The same copy one byte later in the output is fine.
    EXPECT_EQ(DecodeBounded({0x10, 0xFB, 0x00, 0x00, 0x05, 0x02, 0x01, 'a', 'b', 0xFC}, 5), 5);
}

TEST(LzCodecBoundedTest, RejectsAMissingStopCommand) {
    Bytes block = Compress(BytesOf(kPangramTwice));
    ASSERT_EQ(block.back(), 0xFC);
    block.pop_back();
    EXPECT_EQ(DecodeBounded(block, 89), 0);
}

TEST(LzCodecBoundedTest, RejectsOutputThatDisagreesWithTheHeader) {
    Bytes out;
    // A literal run of four behind a header of three: nothing past 3 is written.
    const Bytes tooLong = {0x10, 0xFB, 0x00, 0x00, 0x03, 0xE0, 'a', 'b', 'c', 'd', 0xFC};
    EXPECT_EQ(DecodeBounded(tooLong, 16, &out), 0);
    EXPECT_EQ(out[3], 0);
    // A copy that would run past the header's size.
    EXPECT_EQ(DecodeBounded({0x10, 0xFB, 0x00, 0x00, 0x03, 0x01, 0x00, 'a', 0xFC}, 16), 0);
    // A stop command before the header's size is reached.
    EXPECT_EQ(DecodeBounded({0x10, 0xFB, 0x00, 0x00, 0x05, 0xFE, 'a', 'b'}, 16), 0);
    // The exact size is fine.
    EXPECT_EQ(DecodeBounded({0x10, 0xFB, 0x00, 0x00, 0x02, 0xFE, 'a', 'b'}, 16, &out), 2);
}

}  // namespace
}  // namespace vfs
