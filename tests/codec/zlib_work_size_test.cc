// The zlib codec's work sizes against what the linked zlib really asks for.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "tests/codec/codec_test_data.h"
#include "vfs/codec/zlib_codec.h"
#include "vfs/codec/zlib_session.h"

namespace vfs {
namespace {

using testing::Bytes;
using testing::RandomBytes;
using testing::TextLike;

// The scratch memory of one whole compress run with the codec's parameters
// (set-up, deflate to the end, tear-down), on an area whose start is
// `misalignment` bytes off the strictest alignment.
size_t CompressUse(const Bytes& input, size_t misalignment) {
    std::vector<uint8_t> memory(4 << 20);
    ZlibScratchArea area(memory.data() + misalignment, static_cast<int32_t>(memory.size() - 16));
    {
        ZlibDeflateSession session(area);
        EXPECT_TRUE(session.IsReady());
        Bytes out(input.size() + 1000);
        session.stream.next_in = const_cast<Bytef*>(input.data());
        session.stream.avail_in = static_cast<uInt>(input.size());
        session.stream.next_out = out.data();
        session.stream.avail_out = static_cast<uInt>(out.size());
        EXPECT_EQ(deflate(&session.stream, Z_FINISH), Z_STREAM_END);
    }
    return area.GetUsed();
}

// The same for a decompress run; chunked input makes inflate keep its window.
size_t DecompressUse(const Bytes& input, size_t misalignment) {
    Bytes compressed(input.size() + 1000);
    uLongf length = compressed.size();
    EXPECT_EQ(compress2(compressed.data(), &length, input.data(), input.size(), ZLIB_LEVEL), Z_OK);
    std::vector<uint8_t> memory(4 << 20);
    ZlibScratchArea area(memory.data() + misalignment, static_cast<int32_t>(memory.size() - 16));
    {
        ZlibInflateSession session(area, ZLIB_WINDOW_BITS);
        EXPECT_TRUE(session.IsReady());
        Bytes out(input.size());
        session.stream.next_out = out.data();
        session.stream.avail_out = static_cast<uInt>(out.size());
        int rc = Z_OK;
        for (uLongf done = 0; done < length && rc == Z_OK;) {
            const uLongf step = std::min<uLongf>(1000, length - done);
            session.stream.next_in = compressed.data() + done;
            session.stream.avail_in = static_cast<uInt>(step);
            rc = inflate(&session.stream, Z_SYNC_FLUSH);
            done += step - session.stream.avail_in;
        }
        EXPECT_EQ(rc, Z_STREAM_END);
        EXPECT_EQ(out, input);
    }
    return area.GetUsed();
}

TEST(ZlibWorkSizeTest, CoversWhatZlibAllocates) {
    ZlibCodec codec;
    size_t compressPeak = 0;
    size_t decompressPeak = 0;
    for (const Bytes& input : {TextLike(1 << 20, 1), RandomBytes(300000, 2), Bytes(100, 'x')}) {
        for (size_t misalignment : {0, 1, 8}) {
            compressPeak = std::max(compressPeak, CompressUse(input, misalignment));
            decompressPeak = std::max(decompressPeak, DecompressUse(input, misalignment));
        }
    }
    std::printf("zlib %s asks for %zu bytes to compress and %zu to decompress\n", zlibVersion(),
                compressPeak, decompressPeak);
    EXPECT_LE(compressPeak, static_cast<size_t>(codec.GetCompressWorkSize()));
    EXPECT_LE(decompressPeak, static_cast<size_t>(codec.GetDecompressWorkSize()));
    // A small margin, not a blind guess.
    EXPECT_GT(compressPeak + 8192, static_cast<size_t>(codec.GetCompressWorkSize()));
    EXPECT_GT(decompressPeak + 8192, static_cast<size_t>(codec.GetDecompressWorkSize()));
}

TEST(ZlibWorkSizeTest, CodecCallsWorkInAreasOfExactlyTheWorkSize) {
    ZlibCodec codec;
    const Bytes input = TextLike(1 << 20, 3);
    // Heap blocks of exactly the advertised size: any overrun is a sanitizer report.
    std::vector<uint8_t> compressWork(static_cast<size_t>(codec.GetCompressWorkSize()));
    std::vector<uint8_t> decompressWork(static_cast<size_t>(codec.GetDecompressWorkSize()));
    Bytes block(input.size());
    const int32_t length = codec.Compress(block.data(), input.data(),
                                          static_cast<int32_t>(input.size()), compressWork.data());
    ASSERT_GT(length, 0);
    block.resize(static_cast<size_t>(length));
    Bytes out(input.size());
    EXPECT_EQ(codec.DecompressBounded(out.data(), static_cast<int32_t>(out.size()), block.data(),
                                      length, decompressWork.data()),
              1 << 20);
    EXPECT_EQ(out, input);
}

}  // namespace
}  // namespace vfs
