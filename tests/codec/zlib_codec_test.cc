#include "vfs/codec/zlib_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/codec/codec_test_data.h"
#include "vfs/codec/shared_codec.h"

namespace vfs {
namespace {

using testing::Bytes;
using testing::RandomBytes;
using testing::TextLike;

uint32_t FieldAt(const Bytes& block, size_t offset) {
    return static_cast<uint32_t>(block[offset]) | (static_cast<uint32_t>(block[offset + 1]) << 8) |
           (static_cast<uint32_t>(block[offset + 2]) << 16) |
           (static_cast<uint32_t>(block[offset + 3]) << 24);
}

Bytes Compress(const Bytes& input) {
    ZlibCodec codec;
    Bytes block(input.size());
    const int32_t length =
        codec.Compress(block.data(), input.data(), static_cast<int32_t>(input.size()), nullptr);
    EXPECT_GT(length, 0);
    block.resize(static_cast<size_t>(std::max(length, 0)));
    return block;
}

// The checked decode from an exact-length copy of `block` into exactly
// `capacity` bytes.
int32_t DecodeBounded(const Bytes& block, size_t capacity, Bytes* out = nullptr) {
    ZlibCodec codec;
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

// A CodecIo that serves `input` at most `step` bytes per read and collects
// what it is given.
class TestIo : public CodecIo {
  public:
    explicit TestIo(Bytes input = {}, size_t step = SIZE_MAX)
        : input(std::move(input)), step(step) {}

    int32_t WriteChunk(const uint8_t* buffer, int32_t count) override {
        ++writes;
        const int32_t taken = std::min(count, writeLimit);
        output.insert(output.end(), buffer, buffer + taken);
        return taken;
    }

    int32_t ReadChunk(uint8_t* buffer, int32_t count) override {
        ++reads;
        const size_t amount = std::min({static_cast<size_t>(count), step, input.size() - position});
        if (amount > 0) {
            std::memcpy(buffer, input.data() + position, amount);
        }
        position += amount;
        return static_cast<int32_t>(amount);
    }

    Bytes input;
    size_t step;
    size_t position = 0;
    Bytes output;
    int32_t writeLimit = INT32_MAX;
    int reads = 0;
    int writes = 0;
};

int32_t DecodeFromReader(const Bytes& block, int32_t chunkSize, size_t capacity,
                         Bytes* out = nullptr, size_t step = SIZE_MAX, int* reads = nullptr) {
    ZlibCodec codec;
    TestIo io(block, step);
    Bytes chunk(static_cast<size_t>(chunkSize));
    Bytes dest(capacity);
    const int32_t result = codec.DecompressFromReaderBounded(
        dest.data(), static_cast<int32_t>(capacity), chunk.data(), chunkSize, nullptr, io);
    if (out != nullptr) {
        *out = dest;
    }
    if (reads != nullptr) {
        *reads = io.reads;
    }
    return result;
}

// ------------------------------------------------------------- whole blocks

TEST(ZlibCodecTest, WritesTheFramedHeader) {
    const Bytes input = TextLike(10000, 1);
    const Bytes block = Compress(input);
    ASSERT_GT(block.size(), 28u);
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 4), (Bytes{'B', 'I', 'L', 'Z'}));
    EXPECT_EQ(FieldAt(block, 4), 10000u);
    EXPECT_EQ(FieldAt(block, 8), block.size());
    EXPECT_EQ(FieldAt(block, 12), 15u);
    EXPECT_EQ(FieldAt(block, 16), 9u);
    EXPECT_EQ(FieldAt(block, 20), 0u);
    EXPECT_EQ(FieldAt(block, 24), 0u);
    EXPECT_EQ(block[28] & 0x0F, 8);  // a zlib stream: deflate, then a 32 KiB window
    EXPECT_EQ(block[28] >> 4, 7);

    ZlibCodec codec;
    EXPECT_EQ(codec.GetDecompressedSize(block.data()), 10000);
    Bytes foreign = block;
    foreign[3] = 'Y';
    EXPECT_EQ(codec.GetDecompressedSize(foreign.data()), 0);
}

TEST(ZlibCodecTest, RoundTripsCompressibleData) {
    ZlibCodec codec;
    for (size_t size : {100u, 4096u, 100000u, 3u << 20}) {
        SCOPED_TRACE(size);
        const Bytes input = TextLike(size, static_cast<uint32_t>(size));
        const Bytes block = Compress(input);
        Bytes out;
        EXPECT_EQ(DecodeBounded(block, size, &out), static_cast<int32_t>(size));
        EXPECT_EQ(out, input);
        Bytes trusted(size);
        EXPECT_EQ(codec.Decompress(trusted.data(), block.data(), nullptr),
                  static_cast<int32_t>(size));
        EXPECT_EQ(trusted, input);
    }
}

TEST(ZlibCodecTest, RefusesInputsItCannotShrinkIntoTheirOwnSize) {
    ZlibCodec codec;
    Bytes dest(64, 0xEE);
    const Bytes small = Bytes(28, 'a');
    EXPECT_EQ(codec.Compress(dest.data(), small.data(), 28, nullptr), 0);
    EXPECT_EQ(dest, Bytes(64, 0xEE));  // untouched

    const Bytes random = RandomBytes(5000, 3);
    Bytes block(random.size());
    EXPECT_EQ(codec.Compress(block.data(), random.data(), 5000, nullptr), 0);
}

// ------------------------------------------------------------- damaged blocks

TEST(ZlibCodecBoundedTest, RejectsEveryTruncationOfABlock) {
    const Bytes input = TextLike(3000, 4);
    const Bytes block = Compress(input);
    for (size_t length = 0; length < block.size(); ++length) {
        SCOPED_TRACE(length);
        const Bytes cut(block.begin(), block.begin() + static_cast<ptrdiff_t>(length));
        EXPECT_EQ(DecodeBounded(cut, input.size()), 0);
        EXPECT_EQ(DecodeFromReader(cut, 64, input.size()), 0);
    }
}

TEST(ZlibCodecBoundedTest, RejectsCorruptedData) {
    const Bytes input = TextLike(3000, 5);
    const Bytes block = Compress(input);
    size_t rejected = 0;
    size_t flips = 0;
    for (size_t i = 28; i < block.size(); ++i) {
        for (uint8_t flip : {0x01, 0x10, 0x80}) {
            SCOPED_TRACE(i);
            Bytes damaged = block;
            damaged[i] ^= flip;
            Bytes out;
            const int32_t result = DecodeBounded(damaged, input.size(), &out);
            // A few bits (padding, codes of unused symbols) change nothing;
            // any flip that changes the output must be caught.
            if (result == 0) {
                ++rejected;
            } else {
                EXPECT_EQ(out, input);
            }
            ++flips;
        }
    }
    EXPECT_GT(rejected, flips * 9 / 10);
}

TEST(ZlibCodecBoundedTest, RejectsHeadersThatDoNotFit) {
    const Bytes input = TextLike(3000, 6);
    const Bytes block = Compress(input);
    EXPECT_EQ(DecodeBounded(block, input.size() - 1), 0);
    EXPECT_EQ(DecodeFromReader(block, 100, input.size() - 1), 0);
    EXPECT_EQ(DecodeBounded(block, input.size() + 10), 3000);

    // A header recording less than the stream holds: inflate runs out of room.
    Bytes understated = block;
    understated[4] = static_cast<uint8_t>(2999 & 0xFF);
    understated[5] = static_cast<uint8_t>(2999 >> 8);
    EXPECT_EQ(DecodeBounded(understated, input.size()), 0);
    EXPECT_EQ(DecodeFromReader(understated, 100, input.size()), 0);

    for (uint8_t windowBits : {0, 7, 16, 31, 47}) {
        Bytes odd = block;
        odd[12] = windowBits;
        EXPECT_EQ(DecodeBounded(odd, input.size()), 0);
    }
    Bytes foreign = block;
    foreign[0] = 'X';
    EXPECT_EQ(DecodeBounded(foreign, input.size()), 0);
    EXPECT_EQ(DecodeBounded(Bytes(10, 0), 100), 0);
}

// ------------------------------------------------------------- streaming

TEST(ZlibCodecStreamTest, DecodesThroughChunksOfAnySize) {
    const Bytes input = TextLike(200000, 7);
    const Bytes block = Compress(input);
    for (int32_t chunk : {30, 31, 64, 1000, 16384, static_cast<int32_t>(block.size()) + 500}) {
        SCOPED_TRACE(chunk);
        Bytes out;
        EXPECT_EQ(DecodeFromReader(block, chunk, input.size(), &out), 200000);
        EXPECT_EQ(out, input);
    }
    // A reader that hands out a few bytes at a time, even for the header.
    Bytes out;
    EXPECT_EQ(DecodeFromReader(block, 16384, input.size(), &out, 7), 200000);
    EXPECT_EQ(out, input);
}

TEST(ZlibCodecStreamTest, ChecksChunkSizeAndMagicBeforeReadingOn) {
    const Bytes block = Compress(TextLike(1000, 8));
    int reads = -1;
    EXPECT_EQ(DecodeFromReader(block, 29, 1000, nullptr, SIZE_MAX, &reads), 0);
    EXPECT_EQ(reads, 0);
    Bytes foreign = block;
    foreign[1] = 'J';
    EXPECT_EQ(DecodeFromReader(foreign, 100, 1000, nullptr, SIZE_MAX, &reads), 0);
    EXPECT_EQ(reads, 1);
}

TEST(ZlibCodecStreamTest, StopsWhenTheReaderRunsDry) {
    const Bytes input = TextLike(50000, 9);
    const Bytes block = Compress(input);
    for (size_t keep :
         std::vector<size_t>{0, 20, 28, 29, 100, block.size() / 2, block.size() - 1}) {
        SCOPED_TRACE(keep);
        int reads = 0;
        EXPECT_EQ(
            DecodeFromReader(Bytes(block.begin(), block.begin() + static_cast<ptrdiff_t>(keep)), 64,
                             input.size(), nullptr, SIZE_MAX, &reads),
            0);
        EXPECT_LE(reads, static_cast<int>(keep / 64 + 2));
    }
    // A reader that reports failure.
    CallbackCodecIo failing(
        nullptr, [](uint8_t*, int32_t, void*) -> int32_t { return -1; }, nullptr);
    ZlibCodec codec;
    Bytes chunk(64);
    Bytes dest(100);
    EXPECT_EQ(codec.DecompressFromReader(dest.data(), chunk.data(), 64, nullptr, failing), 0);
}

TEST(ZlibCodecStreamTest, CompressesThroughAWriter) {
    const Bytes input = TextLike(100000, 10);
    ZlibCodec codec;
    for (int32_t bufferSize : {29, 100, 4096, 1 << 20}) {
        SCOPED_TRACE(bufferSize);
        TestIo io;
        Bytes buffer(static_cast<size_t>(bufferSize));
        const int32_t length =
            codec.CompressToWriter(input.data(), static_cast<int32_t>(input.size()), buffer.data(),
                                   bufferSize, nullptr, io);
        ASSERT_EQ(length, static_cast<int32_t>(io.output.size()));
        EXPECT_EQ(FieldAt(io.output, 0), ZLIB_BLOCK_MAGIC);
        EXPECT_EQ(FieldAt(io.output, 4), 100000u);
        EXPECT_EQ(FieldAt(io.output, 8), 0u);  // the block size is not known up front
        EXPECT_EQ(io.writes, (length + bufferSize - 1) / bufferSize);
        Bytes out;
        EXPECT_EQ(DecodeBounded(io.output, input.size(), &out), 100000);
        EXPECT_EQ(out, input);
        EXPECT_EQ(DecodeFromReader(io.output, 30, input.size(), &out), 100000);
        EXPECT_EQ(out, input);
    }
    // Even data that does not shrink, and nothing at all, can be streamed.
    const Bytes random = RandomBytes(70000, 11);
    TestIo io;
    Bytes buffer(1000);
    EXPECT_GT(codec.CompressToWriter(random.data(), 70000, buffer.data(), 1000, nullptr, io),
              70000);
    Bytes out;
    EXPECT_EQ(DecodeBounded(io.output, random.size(), &out), 70000);
    EXPECT_EQ(out, random);
    TestIo empty;
    EXPECT_GT(codec.CompressToWriter(nullptr, 0, buffer.data(), 1000, nullptr, empty), 28);
}

TEST(ZlibCodecStreamTest, FailsWhenTheWriterBalks) {
    const Bytes input = TextLike(100000, 12);
    ZlibCodec codec;
    Bytes buffer(1000);
    TestIo io;
    io.writeLimit = 999;
    EXPECT_EQ(codec.CompressToWriter(input.data(), 100000, buffer.data(), 1000, nullptr, io), 0);
    EXPECT_EQ(io.writes, 1);
    TestIo tooSmall;
    EXPECT_EQ(codec.CompressToWriter(input.data(), 100000, buffer.data(), 28, nullptr, tooSmall),
              0);
    EXPECT_EQ(tooSmall.writes, 0);
}

// ------------------------------------------------------------- shared access

int32_t ReadFromTestIo(uint8_t* buffer, int32_t count, void* userValue) {
    return static_cast<TestIo*>(userValue)->ReadChunk(buffer, count);
}

TEST(SharedCodecTest, DecodesThroughTheSharedCodec) {
    EXPECT_EQ(&GetZlibCodec(), &GetZlibCodec());
    const Bytes input = TextLike(40000, 13);
    const Bytes block = Compress(input);
    Bytes chunk(16384);
    {
        TestIo io(block);
        Bytes dest(input.size());
        EXPECT_EQ(
            DecompressWithReader(dest.data(), chunk.data(), 16384, ReadFromTestIo, &io, nullptr),
            40000);
        EXPECT_EQ(dest, input);
    }
    {
        TestIo io(block);
        Bytes dest(input.size() - 1);
        EXPECT_EQ(DecompressWithReaderBounded(dest.data(), static_cast<int32_t>(dest.size()),
                                              chunk.data(), 16384, ReadFromTestIo, &io, nullptr),
                  0);
        EXPECT_EQ(io.reads, 1);
    }
}

}  // namespace
}  // namespace vfs
