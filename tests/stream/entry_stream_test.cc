#include <gtest/gtest.h>

#include <algorithm>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/stream/test_host_stream.h"
#include "vfs/codec/lz_codec.h"
#include "vfs/codec/zlib_codec.h"
#include "vfs/core/stream_ref.h"
#include "vfs/stream/locked_stream.h"
#include "vfs/stream/lz_entry_stream.h"
#include "vfs/stream/range_stream.h"
#include "vfs/stream/zlib_entry_stream.h"

namespace vfs {
namespace {

using test::TestHostStream;

// Compressible bytes of the given length: runs over a small alphabet.
std::vector<uint8_t> SampleBytes(size_t length, uint32_t seed = 1) {
    std::vector<uint8_t> bytes(length);
    uint32_t state = seed;
    for (size_t i = 0; i < length; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>('a' + ((state >> 16) % 12));
    }
    return bytes;
}

std::vector<uint8_t> LzBlock(const std::vector<uint8_t>& plain) {
    std::vector<uint8_t> block(
        static_cast<size_t>(LzCodec::GetMaxCompressedSize(static_cast<int32_t>(plain.size()))));
    LzCodec codec;
    const uint8_t none = 0;  // an empty input still comes from a real address
    int32_t length = codec.Compress(block.data(), plain.empty() ? &none : plain.data(),
                                    static_cast<int32_t>(plain.size()), nullptr);
    block.resize(static_cast<size_t>(length));
    return block;
}

std::vector<uint8_t> ZlibBlock(const std::vector<uint8_t>& plain) {
    std::vector<uint8_t> block(plain.size());
    ZlibCodec codec;
    int32_t length =
        codec.Compress(block.data(), plain.data(), static_cast<int32_t>(plain.size()), nullptr);
    block.resize(static_cast<size_t>(length));
    return block;
}

// An archive in memory: some bytes, the stored block at `start`, more bytes.
struct Archive {
    explicit Archive(const std::vector<uint8_t>& block, size_t before = 37, size_t after = 11) {
        // Filled in place: GCC 12 misreads inserts into a fresh vector as
        // out of bounds at -O2.
        std::vector<uint8_t> bytes(before + block.size() + after, 0xDD);
        std::fill_n(bytes.begin(), before, uint8_t{0xEE});
        for (size_t i = 0; i < block.size(); ++i) {
            bytes[before + i] = block[i];
        }
        start = static_cast<int32_t>(before);
        storedSize = static_cast<int32_t>(block.size());
        host = new TestHostStream(std::move(bytes));
    }
    TestHostStream* host;
    int32_t start;
    int32_t storedSize;
};

// Stacks an entry the way the archive file system opens one: host stream,
// private LockedStream, positioned at the data, the range of the stored
// bytes, then the decoded stream. Returns the decoded stream's status.
Result OpenEntry(StreamRef& ref, const Archive& archive, MemoryStream* entry, int32_t unpacked,
                 int32_t storedSize = -1) {
    ref.Set(archive.host);
    ref.Set(new LockedStream);
    ref.Seek(archive.start, 0);
    auto* range = new RangeStream;
    range->Init(storedSize < 0 ? archive.storedSize : storedSize, archive.start);
    ref.Set(range);
    entry->Init(unpacked);
    ref.Set(entry);
    return entry->GetStatus();
}

std::vector<uint8_t> ReadAll(StreamRef& ref) {
    std::vector<uint8_t> out;
    uint8_t chunk[1000];
    int32_t got;
    while ((got = ref.Read(chunk, sizeof chunk)) > 0) {
        out.insert(out.end(), chunk, chunk + got);
    }
    return out;
}

TEST(LzEntryStream, DecodesTheWholeEntryWhenItIsStacked) {
    const std::vector<uint8_t> plain = SampleBytes(5000);
    Archive archive(LzBlock(plain));
    StreamRef ref;
    ASSERT_EQ(OpenEntry(ref, archive, new LzEntryStream, 5000).status, 0);
    // Decoded already: the stored bytes can go away before the first read.
    std::fill(archive.host->data.begin(), archive.host->data.end(), 0);
    EXPECT_EQ(ref.GetSize(), 5000);
    EXPECT_EQ(ReadAll(ref), plain);
    EXPECT_EQ(ref.Seek(-10, 2), 4990);
    EXPECT_EQ(ReadAll(ref), std::vector<uint8_t>(plain.end() - 10, plain.end()));
    EXPECT_EQ(archive.host->unlockedCalls, 0);
}

TEST(LzEntryStream, ReadsTheSizeWhereTheDecoderDoes) {
    const std::vector<uint8_t> plain = SampleBytes(300);
    // The long header: three extra bytes before the size.
    std::vector<uint8_t> longForm = LzBlock(plain);
    longForm[0] = 0x11;
    longForm.insert(longForm.begin() + 2, {0xAA, 0xBB, 0xCC});
    {
        Archive archive(longForm);
        StreamRef ref;
        ASSERT_EQ(OpenEntry(ref, archive, new LzEntryStream, 300).status, 0);
        EXPECT_EQ(ReadAll(ref), plain);
    }
    // The decoder checks no magic byte, so neither does the entry stream.
    std::vector<uint8_t> noMagic = LzBlock(plain);
    noMagic[1] = 0x00;
    Archive archive(noMagic);
    StreamRef ref;
    ASSERT_EQ(OpenEntry(ref, archive, new LzEntryStream, 300).status, 0);
    EXPECT_EQ(ReadAll(ref), plain);
}

TEST(ZlibEntryStream, DecodesABlockOfOneChunk) {
    const std::vector<uint8_t> plain = SampleBytes(3000);
    const std::vector<uint8_t> block = ZlibBlock(plain);
    ASSERT_LT(block.size(), 16384u);
    Archive archive(block);
    StreamRef ref;
    ASSERT_EQ(OpenEntry(ref, archive, new ZlibEntryStream, 3000).status, 0);
    std::fill(archive.host->data.begin(), archive.host->data.end(), 0);
    EXPECT_EQ(ReadAll(ref), plain);
}

TEST(ZlibEntryStream, DecodesABlockOfManyChunks) {
    const std::vector<uint8_t> plain = SampleBytes(200000, 7);
    const std::vector<uint8_t> block = ZlibBlock(plain);
    ASSERT_GT(block.size(), 3u * 16384u);
    Archive archive(block);
    StreamRef ref;
    ASSERT_EQ(OpenEntry(ref, archive, new ZlibEntryStream, 200000).status, 0);
    EXPECT_EQ(ReadAll(ref), plain);
}

// Broken stored blocks and sizes that disagree with the record are refused
// by both entry streams alike; a refused stream serves nothing.
template <class Entry>
void ExpectRefused(const std::vector<uint8_t>& block, int32_t unpacked, int32_t storedSize,
                   const char* what) {
    Archive archive(block);
    StreamRef ref;
    auto* entry = new Entry;
    EXPECT_EQ(OpenEntry(ref, archive, entry, unpacked, storedSize).status, -1) << what;
    EXPECT_EQ(ref.GetSize(), 0) << what;
    uint8_t byte = 0;
    EXPECT_EQ(ref.Read(&byte, 1), 0) << what;
    EXPECT_EQ(ref.Map(), nullptr) << what;
}

template <class Entry>
void ExpectBrokenBlocksRefused(std::vector<uint8_t> (*makeBlock)(const std::vector<uint8_t>&)) {
    const std::vector<uint8_t> plain = SampleBytes(4000, 3);
    const std::vector<uint8_t> block = makeBlock(plain);
    const int32_t stored = static_cast<int32_t>(block.size());

    ExpectRefused<Entry>(block, 3999, stored, "record one byte short of the block");
    ExpectRefused<Entry>(block, 4001, stored, "record one byte beyond the block");
    ExpectRefused<Entry>(block, 1 << 20, stored, "record far beyond the block");
    ExpectRefused<Entry>(block, 4000, stored / 2, "stored bytes cut in half");
    ExpectRefused<Entry>(block, 4000, 3, "stored bytes shorter than a header");
    ExpectRefused<Entry>(block, 4000, 0, "no stored bytes");

    std::vector<uint8_t> resized = block;
    resized[4] ^= 0x01;  // the low byte of a size field in either header
    ExpectRefused<Entry>(resized, 4000, stored, "header records another size");

    std::vector<uint8_t> garbage(block.size(), 0xFF);
    ExpectRefused<Entry>(garbage, 4000, stored, "all 0xFF");

    // The archive file ends before the entry's stored bytes do.
    std::vector<uint8_t> cut(block.begin(), block.begin() + stored / 2);
    Archive archive(cut, 37, 0);
    StreamRef ref;
    EXPECT_EQ(OpenEntry(ref, archive, new Entry, 4000, stored).status, -1) << "file ends early";
}

TEST(LzEntryStream, RefusesBrokenBlocksAndSizeMismatches) {
    ExpectBrokenBlocksRefused<LzEntryStream>(LzBlock);
}

TEST(ZlibEntryStream, RefusesBrokenBlocksAndSizeMismatches) {
    ExpectBrokenBlocksRefused<ZlibEntryStream>(ZlibBlock);
    std::vector<uint8_t> foreign = ZlibBlock(SampleBytes(4000, 3));
    foreign[1] ^= 0x5A;
    ExpectRefused<ZlibEntryStream>(foreign, 4000, static_cast<int32_t>(foreign.size()), "magic");
    // A bit flipped inside the deflate data fails the stream's checks.
    const std::vector<uint8_t> plain = SampleBytes(4000, 3);
    std::vector<uint8_t> block = ZlibBlock(plain);
    block[block.size() - 2] ^= 0x01;  // the Adler-32 trailer
    ExpectRefused<ZlibEntryStream>(block, 4000, static_cast<int32_t>(block.size()), "trailer");
}

TEST(LzEntryStream, RefusesACopyFromBeforeTheOutput) {
    // Short header for 8 bytes, then a short copy of 3 from 1000 back.
    const std::vector<uint8_t> block = {0x10, 0xFB, 0x00, 0x00, 0x08, 0x60, 0xE7, 0xFC};
    ExpectRefused<LzEntryStream>(block, 8, static_cast<int32_t>(block.size()), "distance");
}

TEST(EntryStreams, AnEmptyEntryOpensOnlyWithAnEmptyBlock) {
    {
        Archive archive(LzBlock({}));
        StreamRef ref;
        EXPECT_EQ(OpenEntry(ref, archive, new LzEntryStream, 0).status, 0);
        EXPECT_EQ(ref.GetSize(), 0);
        EXPECT_EQ(ref.Seek(0, 2), 0);
    }
    // "BILZ", size 0, block size 36, 15, 9, 0, 0, then the empty zlib stream.
    const std::vector<uint8_t> emptyZlib = {'B', 'I', 'L', 'Z', 0,    0,    0, 0, 36, 0, 0, 0,
                                            15,  0,   0,   0,   9,    0,    0, 0, 0,  0, 0, 0,
                                            0,   0,   0,   0,   0x78, 0x9C, 3, 0, 0,  0, 0, 1};
    {
        Archive archive(emptyZlib);
        StreamRef ref;
        EXPECT_EQ(OpenEntry(ref, archive, new ZlibEntryStream, 0).status, 0);
    }
    ExpectRefused<ZlibEntryStream>(emptyZlib, 1, 36, "empty zlib block for one byte");
    ExpectRefused<LzEntryStream>(LzBlock({}), 1, 6, "empty LZ block for one byte");
    ExpectRefused<LzEntryStream>(LzBlock({'x'}), 0, 7, "one-byte LZ block for an empty entry");
    ExpectRefused<ZlibEntryStream>(std::vector<uint8_t>(36, 0), 0, 36, "zeros, no magic");

    // A header that records 0 bytes is not enough: what follows it must be
    // the block's intact end.
    std::vector<uint8_t> badAdler = emptyZlib;
    badAdler.back() ^= 0x01;
    ExpectRefused<ZlibEntryStream>(badAdler, 0, 36, "empty zlib stream, wrong checksum");
    std::vector<uint8_t> noStream(emptyZlib.begin(), emptyZlib.begin() + 28);
    ExpectRefused<ZlibEntryStream>(noStream, 0, 28, "header without a zlib stream");
    std::vector<uint8_t> moreBytes = ZlibBlock(SampleBytes(100, 5));
    moreBytes[4] = moreBytes[5] = 0;  // the header now claims an empty entry
    ExpectRefused<ZlibEntryStream>(moreBytes, 0, static_cast<int32_t>(moreBytes.size()),
                                   "zlib stream of 100 bytes under an empty header");
    const std::vector<uint8_t> emptyLz = LzBlock({});
    std::vector<uint8_t> lzNoStop(emptyLz.begin(), emptyLz.end() - 1);
    ExpectRefused<LzEntryStream>(lzNoStop, 0, static_cast<int32_t>(lzNoStop.size()),
                                 "empty LZ block without its stop command");
    std::vector<uint8_t> lzLiteralRun = emptyLz;
    lzLiteralRun.back() = 0xE0;  // four literals where the stop command was
    lzLiteralRun.insert(lzLiteralRun.end(), {'a', 'b', 'c', 'd', 0xFC});
    ExpectRefused<LzEntryStream>(lzLiteralRun, 0, static_cast<int32_t>(lzLiteralRun.size()),
                                 "LZ literals under an empty header");
}

TEST(EntryStreams, AFailedInitDecodesNothing) {
    const std::vector<uint8_t> plain = SampleBytes(100);
    Archive archive(LzBlock(plain));
    StreamRef ref;
    auto* entry = new LzEntryStream;
    EXPECT_EQ(OpenEntry(ref, archive, entry, -5).status, -1);
    EXPECT_EQ(archive.host->position, archive.start) << "nothing was read";
}

TEST(EntryStreams, ReleaseFreesTheWholeStackFromTheTop) {
    const std::vector<uint8_t> plain = SampleBytes(700);
    Archive archive(LzBlock(plain));
    bool hostDeleted = false;
    archive.host->deleted = &hostDeleted;
    StreamRef keep;
    keep.Set(archive.host);
    {
        StreamRef ref;
        ASSERT_EQ(OpenEntry(ref, archive, new LzEntryStream, 700).status, 0);
        EXPECT_EQ(archive.host->GetRefCount(), 2);
        EXPECT_EQ(ReadAll(ref), plain);
    }
    EXPECT_EQ(archive.host->GetRefCount(), 1);
    EXPECT_FALSE(hostDeleted);
    keep.Reset();
    EXPECT_TRUE(hostDeleted);
}

}  // namespace
}  // namespace vfs
