// The whole-block decoders (libdeflate first, zlib where it refuses) give
// what zlib's chunked decoding gives, block for block, including the blocks
// that zlib refuses.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <vector>

#include "tests/codec/codec_test_data.h"
#include "vfs/codec/shared_codec.h"
#include "vfs/codec/zlib_codec.h"

namespace vfs {
namespace {

using testing::Bytes;
using testing::RandomBytes;
using testing::TextLike;

// A framed block of `input` whose zlib stream declares a window of
// 2^streamWindowBits bytes, written with the header's window-bits field set
// to `headerWindowBits`.
Bytes FramedBlock(const Bytes& input, int streamWindowBits, uint32_t headerWindowBits = 15) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, streamWindowBits, 9, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes block(ZLIB_BLOCK_HEADER_SIZE + deflateBound(&z, input.size()));
    z.next_in = const_cast<Bytef*>(input.data());
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = block.data() + ZLIB_BLOCK_HEADER_SIZE;
    z.avail_out = static_cast<uInt>(block.size() - ZLIB_BLOCK_HEADER_SIZE);
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    block.resize(ZLIB_BLOCK_HEADER_SIZE + z.total_out);
    deflateEnd(&z);
    const uint32_t fields[7] = {ZLIB_BLOCK_MAGIC,
                                static_cast<uint32_t>(input.size()),
                                static_cast<uint32_t>(block.size()),
                                headerWindowBits,
                                9,
                                0,
                                0};
    for (int f = 0; f < 7; ++f) {
        for (int b = 0; b < 4; ++b) {
            block[4 * f + b] = static_cast<uint8_t>(fields[f] >> (8 * b));
        }
    }
    return block;
}

struct Reader {
    const Bytes* block;
    size_t at;
};

int ReadChunk(uint8_t* buffer, int32_t count, void* user) {
    auto* reader = static_cast<Reader*>(user);
    const size_t n = std::min(static_cast<size_t>(count), reader->block->size() - reader->at);
    std::memcpy(buffer, reader->block->data() + reader->at, n);
    reader->at += n;
    return static_cast<int>(n);
}

// The three decoders of one block into `capacity` bytes: the whole-block
// one that reads the header's window bits, the one that does not, and the
// chunked reader (the reference for the second).
struct Outcome {
    int32_t bounded;
    int32_t whole;
    int32_t chunked;
    Bytes wholeOut;
    Bytes chunkedOut;
};

Outcome DecodeAllWays(const Bytes& block, size_t capacity) {
    Outcome outcome;
    ZlibCodec& codec = GetZlibCodec();
    const Bytes source(block);  // exactly the block: a read past it is a sanitizer report
    Bytes bounded(capacity);
    outcome.bounded =
        codec.DecompressBounded(bounded.data(), static_cast<int32_t>(capacity), source.data(),
                                static_cast<int32_t>(source.size()), nullptr);
    outcome.wholeOut.assign(capacity, 0);
    outcome.whole =
        codec.DecompressWholeBlock(outcome.wholeOut.data(), static_cast<int32_t>(capacity),
                                   source.data(), static_cast<int32_t>(source.size()), nullptr);
    outcome.chunkedOut.assign(capacity, 0);
    Bytes chunk(1000);
    Reader reader{&source, 0};
    outcome.chunked = DecompressWithReaderBounded(
        outcome.chunkedOut.data(), static_cast<int32_t>(capacity), chunk.data(),
        static_cast<int32_t>(chunk.size()), ReadChunk, &reader, nullptr);
    return outcome;
}

TEST(ZlibWholeBlockTest, DecodesWhatTheChunkedReaderDecodes) {
    for (const Bytes& input :
         {TextLike(300000, 5), RandomBytes(70000, 6), Bytes(1, 'x'), TextLike(5, 7)}) {
        for (int windowBits : {9, 12, 15}) {
            const Bytes block = FramedBlock(input, windowBits);
            const Outcome outcome = DecodeAllWays(block, input.size());
            EXPECT_EQ(outcome.whole, static_cast<int32_t>(input.size()));
            EXPECT_EQ(outcome.bounded, outcome.whole);
            EXPECT_EQ(outcome.chunked, outcome.whole);
            EXPECT_EQ(outcome.wholeOut, input);
            EXPECT_EQ(outcome.chunkedOut, input);
        }
    }
}

TEST(ZlibWholeBlockTest, AWindowLargerThanTheHeaderSaysFailsOnlyWhereTheHeaderIsRead) {
    const Bytes input = TextLike(100000, 8);
    const Bytes block = FramedBlock(input, 15, 9);
    const Outcome outcome = DecodeAllWays(block, input.size());
    EXPECT_EQ(outcome.bounded, 0);  // inflate refuses a window above the one it was given
    EXPECT_EQ(outcome.whole, static_cast<int32_t>(input.size()));
    EXPECT_EQ(outcome.chunked, static_cast<int32_t>(input.size()));
    // A stream that declares a window of 9 decodes under a field of 9.
    EXPECT_EQ(DecodeAllWays(FramedBlock(input, 9, 9), input.size()).bounded,
              static_cast<int32_t>(input.size()));
}

TEST(ZlibWholeBlockTest, DamagedShortAndOversizedBlocksGiveZlibsVerdict) {
    const Bytes input = TextLike(50000, 9);
    const Bytes block = FramedBlock(input, 15);

    // Bytes after the zlib stream are left unread.
    Bytes trailing = block;
    trailing.insert(trailing.end(), 100, 0xAB);
    EXPECT_EQ(DecodeAllWays(trailing, input.size()).whole, static_cast<int32_t>(input.size()));

    // A header that records less than the stream holds: no room, no result.
    EXPECT_EQ(DecodeAllWays(block, input.size() - 1).whole, 0);
    Bytes smaller = block;
    smaller[4] = static_cast<uint8_t>(smaller[4] - 1);
    const Outcome tooSmall = DecodeAllWays(smaller, input.size());
    EXPECT_EQ(tooSmall.whole, 0);
    EXPECT_EQ(tooSmall.chunked, 0);

    // A header that records more: the stream's own length comes back.
    Bytes larger = block;
    larger[5] = static_cast<uint8_t>(larger[5] + 1);
    const Outcome tooLarge = DecodeAllWays(larger, input.size() + 256);
    EXPECT_EQ(tooLarge.whole, static_cast<int32_t>(input.size()));
    EXPECT_EQ(tooLarge.chunked, static_cast<int32_t>(input.size()));

    for (size_t cut : {size_t{30}, block.size() / 2, block.size() - 1}) {
        const Outcome outcome =
            DecodeAllWays(Bytes(block.begin(), block.begin() + cut), input.size());
        EXPECT_EQ(outcome.whole, 0) << cut;
        EXPECT_EQ(outcome.chunked, 0) << cut;
    }
    // Every byte flipped in turn over the stream's start, a stretch of its
    // middle and its trailer: the decoders agree on each.
    std::vector<size_t> positions;
    for (size_t i = ZLIB_BLOCK_HEADER_SIZE; i < ZLIB_BLOCK_HEADER_SIZE + 40; ++i) {
        positions.push_back(i);
    }
    for (size_t i = block.size() / 2; i < block.size() / 2 + 40; ++i) {
        positions.push_back(i);
    }
    for (size_t i = block.size() - 4; i < block.size(); ++i) {
        positions.push_back(i);
    }
    for (size_t at : positions) {
        for (uint8_t flip : {0x01, 0x80, 0xFF}) {
            Bytes damaged = block;
            damaged[at] ^= flip;
            const Outcome outcome = DecodeAllWays(damaged, input.size());
            EXPECT_EQ(outcome.whole, outcome.chunked) << at << " " << int{flip};
            if (outcome.whole > 0) {
                EXPECT_EQ(outcome.wholeOut, outcome.chunkedOut) << at;
            }
        }
    }
}

}  // namespace
}  // namespace vfs
