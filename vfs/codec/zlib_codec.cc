#include "vfs/codec/zlib_codec.h"

#if TARNWAD_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>

#include "vfs/codec/zlib_scratch_area.h"
#include "vfs/codec/zlib_session.h"
#include "vfs/core/last_error.h"
#include "vfs/core/little_endian.h"

namespace vfs {

namespace {

constexpr int32_t kSizeOffset = 4;
constexpr int32_t kBlockSizeOffset = 8;
constexpr int32_t kWindowBitsOffset = 12;
constexpr int32_t kMemoryLevelOffset = 16;

// The input the trusting decoder declares: the stream's own end stops it.
constexpr uint64_t kUnboundedSource = 0xC0000000;

void WriteHeader(uint8_t* p, uint32_t decompressedSize, uint32_t blockSize) {
    StoreLe32(p, ZLIB_BLOCK_MAGIC);
    StoreLe32(p + kSizeOffset, decompressedSize);
    StoreLe32(p + kBlockSizeOffset, blockSize);
    StoreLe32(p + kWindowBitsOffset, ZLIB_WINDOW_BITS);
    StoreLe32(p + kMemoryLevelOffset, ZLIB_MEMORY_LEVEL);
    StoreLe32(p + 20, 0);
    StoreLe32(p + 24, 0);
}

bool HasMagic(const uint8_t* p) {
    return LoadLe32(p) == ZLIB_BLOCK_MAGIC;
}

// Leaves why a block does not decode for whoever asks (vfs::LastError).
void Broken(const std::string& why) {
    SetLastError(ErrorCode::NOT_DECODABLE, "does not decode: " + why);
}

// The header's decompressed size if it fits dest (at most destCapacity
// bytes), else -1.
int64_t SizeThatFits(const uint8_t* header, int32_t destCapacity) {
    const int64_t size = LoadLe32(header + kSizeOffset);
    return size <= destCapacity ? size : -1;
}

// Decodes the block at src, of which srcLength bytes may be read, into dest
// (destCapacity bytes) with zlib's inflate for a stream of `windowBits`.
// The number of bytes decoded, or -1 for a block that does not decode.
int64_t InflateBlockChecked(uint8_t* dest, int32_t destCapacity, const uint8_t* src,
                            uint64_t srcLength, uint32_t windowBits, void* work, int32_t workSize) {
    if (src == nullptr || srcLength < ZLIB_BLOCK_HEADER_SIZE || !HasMagic(src)) {
        return -1;
    }
    const int64_t size = SizeThatFits(src, destCapacity);
    if (size < 0 || windowBits < 8 || windowBits > 15) {
        return -1;
    }
    ZlibScratchArea area(work, workSize);
    ZlibInflateSession session(area, static_cast<int>(windowBits));
    if (!session.IsReady()) {
        SetLastError(ErrorCode::TOO_LARGE, "zlib cannot be started: no memory for its work area");
        return -1;
    }
    z_stream& z = session.stream;
    z.next_in = const_cast<Bytef*>(src + ZLIB_BLOCK_HEADER_SIZE);
    z.avail_in = static_cast<uInt>(std::min(srcLength - ZLIB_BLOCK_HEADER_SIZE, kUnboundedSource));
    z.next_out = dest;
    z.avail_out = static_cast<uInt>(size);
    const int rc = inflate(&z, Z_FINISH);
    if (rc == Z_STREAM_END) {
        return static_cast<int64_t>(z.total_out);
    }
    // zlib's own words where it has them ("incorrect data check": the
    // stream's checksum does not match what it decodes to).
    if (rc == Z_DATA_ERROR || rc == Z_STREAM_ERROR) {
        Broken(std::string("zlib finds the data damaged: ") +
               (z.msg != nullptr ? z.msg : "no reason given"));
    } else if (rc == Z_MEM_ERROR) {
        SetLastError(ErrorCode::TOO_LARGE, "zlib has no memory to decode it");
    } else if (z.avail_in != 0) {
        Broken("the zlib stream makes more than the " + std::to_string(size) +
               " bytes its header records");
    } else {
        Broken("the zlib stream ends early, after " + std::to_string(z.total_out) + " of " +
               std::to_string(size) + " bytes");
    }
    return -1;
}

// As InflateBlockChecked, with 0 for a block that does not decode.
int32_t InflateBlock(uint8_t* dest, int32_t destCapacity, const uint8_t* src, uint64_t srcLength,
                     uint32_t windowBits, void* work, int32_t workSize) {
    return static_cast<int32_t>(std::max<int64_t>(
        InflateBlockChecked(dest, destCapacity, src, srcLength, windowBits, work, workSize), 0));
}

#if TARNWAD_HAVE_LIBDEFLATE
// libdeflate's decompressor of this thread, made on first use: it keeps
// only its decode tables, rebuilt by every call.
libdeflate_decompressor* ThreadDecompressor() {
    struct Free {
        void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
    };
    thread_local std::unique_ptr<libdeflate_decompressor, Free> decompressor(
        libdeflate_alloc_decompressor());
    return decompressor.get();
}

// Decodes the zlib stream of `length` bytes at `stream` into dest (room for
// `size` bytes) with libdeflate, which decodes whole buffers well over twice
// as fast as zlib. It accepts what zlib's inflate accepts for a stream of
// `windowBits`: the header must declare a window no larger (inflate
// refuses a larger one) and the checksum must match; bytes after the stream
// are ignored, as inflate leaves them unread. The number of bytes decoded,
// or -1 when libdeflate refuses the stream or cannot be had.
int64_t LibdeflateStream(uint8_t* dest, uint32_t size, const uint8_t* stream, uint64_t length,
                         uint32_t windowBits) {
    if (length < 2 || (stream[0] >> 4) + 8u > windowBits) {
        return -1;
    }
    libdeflate_decompressor* decompressor = ThreadDecompressor();
    if (decompressor == nullptr) {
        return -1;
    }
    size_t consumed = 0;
    size_t produced = 0;
    const libdeflate_result result = libdeflate_zlib_decompress_ex(
        decompressor, stream, static_cast<size_t>(length), dest, size, &consumed, &produced);
    return result == LIBDEFLATE_SUCCESS ? static_cast<int64_t>(produced) : -1;
}
#else
// Without libdeflate every stream gets zlib's verdict.
int64_t LibdeflateStream(uint8_t*, uint32_t, const uint8_t*, uint64_t, uint32_t) {
    return -1;
}
#endif

// Reads until `buffer` holds at least the block header, or fails. The magic
// is checked as soon as it is in, so a foreign block costs one read.
// Returns the number of bytes in the buffer, or 0.
int32_t ReadHeaderChunk(CodecIo& io, uint8_t* buffer, int32_t bufferSize) {
    int32_t filled = 0;
    do {
        const int32_t got = io.ReadChunk(buffer + filled, bufferSize - filled);
        if (got <= 0) {
            return 0;
        }
        filled += std::min(got, bufferSize - filled);
        if (filled >= 4 && !HasMagic(buffer)) {
            return 0;
        }
    } while (filled < ZLIB_BLOCK_HEADER_SIZE);
    return filled;
}

}  // namespace

int32_t ZlibCodec::Compress(uint8_t* dest, const uint8_t* src, int32_t srcLength, void* work) {
    if (dest == nullptr || src == nullptr || srcLength <= ZLIB_BLOCK_HEADER_SIZE) {
        return 0;
    }
    ZlibScratchArea area(work, GetCompressWorkSize());
    ZlibDeflateSession session(area);
    if (!session.IsReady()) {
        return 0;
    }
    z_stream& z = session.stream;
    z.next_in = const_cast<Bytef*>(src);
    z.avail_in = static_cast<uInt>(srcLength);
    z.next_out = dest + ZLIB_BLOCK_HEADER_SIZE;
    z.avail_out = static_cast<uInt>(srcLength - ZLIB_BLOCK_HEADER_SIZE);
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
        return 0;  // did not fit in the input's own size
    }
    const uint32_t blockSize = ZLIB_BLOCK_HEADER_SIZE + static_cast<uint32_t>(z.total_out);
    WriteHeader(dest, static_cast<uint32_t>(srcLength), blockSize);
    return static_cast<int32_t>(blockSize);
}

int32_t ZlibCodec::Decompress(uint8_t* dest, const uint8_t* src, void* work) {
    if (src == nullptr) {
        return 0;
    }
    return InflateBlock(dest, INT32_MAX, src, ZLIB_BLOCK_HEADER_SIZE + kUnboundedSource,
                        LoadLe32(src + kWindowBitsOffset), work, GetDecompressWorkSize());
}

int32_t ZlibCodec::GetDecompressedSize(const uint8_t* src) {
    if (src == nullptr || !HasMagic(src)) {
        return 0;
    }
    return static_cast<int32_t>(LoadLe32(src + kSizeOffset));
}

int32_t ZlibCodec::DecompressBounded(uint8_t* dest, int32_t destCapacity, const uint8_t* src,
                                     int32_t srcLength, void* work) {
    if (src == nullptr || srcLength < ZLIB_BLOCK_HEADER_SIZE || !HasMagic(src)) {
        return 0;
    }
    return static_cast<int32_t>(std::max<int64_t>(
        DecodeWhole(dest, destCapacity, src, srcLength, LoadLe32(src + kWindowBitsOffset), work),
        0));
}

int32_t ZlibCodec::DecompressWholeBlock(uint8_t* dest, int32_t destCapacity, const uint8_t* src,
                                        int32_t srcLength, void* work) {
    if (src == nullptr || srcLength < ZLIB_BLOCK_HEADER_SIZE || !HasMagic(src)) {
        return 0;
    }
    return static_cast<int32_t>(std::max<int64_t>(
        DecodeWhole(dest, destCapacity, src, srcLength, ZLIB_WINDOW_BITS, work), 0));
}

bool ZlibCodec::DecodeExactly(uint8_t* dest, int32_t size, const uint8_t* src, int32_t srcLength,
                              void* work) {
    if (src == nullptr || size < 0 || (dest == nullptr && size > 0)) {
        return false;
    }
    if (srcLength < ZLIB_BLOCK_HEADER_SIZE) {
        Broken("the " + std::to_string(std::max(srcLength, 0)) +
               " bytes of zlib-framed data are fewer than its header takes");
        return false;
    }
    if (!HasMagic(src)) {
        Broken("the zlib-framed data does not begin with \"BILZ\"");
        return false;
    }
    if (const uint32_t recorded = LoadLe32(src + kSizeOffset);
        recorded != static_cast<uint32_t>(size)) {
        Broken("its zlib-framed header records " + std::to_string(recorded) +
               " bytes, its record " + std::to_string(size));
        return false;
    }
    // An empty entry's buffer may be null; the decoders are given a byte of
    // room that the header's size keeps them from using.
    uint8_t none = 0;
    const int64_t produced =
        DecodeWhole(size > 0 ? dest : &none, size, src, srcLength, ZLIB_WINDOW_BITS, work);
    if (produced >= 0 && produced != size) {
        Broken("it decodes to " + std::to_string(produced) + " bytes instead of " +
               std::to_string(size));
    }
    return produced == size;
}

int64_t ZlibCodec::DecodeWhole(uint8_t* dest, int32_t destCapacity, const uint8_t* src,
                               int32_t srcLength, uint32_t windowBits, void* work) {
    const int64_t size = SizeThatFits(src, destCapacity);
    if (size < 0 || windowBits < 8 || windowBits > 15) {
        return -1;
    }
    const int64_t produced =
        LibdeflateStream(dest, static_cast<uint32_t>(size), src + ZLIB_BLOCK_HEADER_SIZE,
                         static_cast<uint64_t>(srcLength - ZLIB_BLOCK_HEADER_SIZE), windowBits);
    if (produced >= 0) {
        return produced;
    }
    // What libdeflate refuses gets zlib's own verdict, so that a block
    // decodes here exactly when inflate decodes it.
    return InflateBlockChecked(dest, destCapacity, src, static_cast<uint64_t>(srcLength),
                               windowBits, work, GetDecompressWorkSize());
}

int32_t ZlibCodec::CompressToWriter(const uint8_t* src, int32_t srcLength, uint8_t* buffer,
                                    int32_t bufferSize, void* work, CodecIo& io) {
    if (buffer == nullptr || bufferSize <= ZLIB_BLOCK_HEADER_SIZE || srcLength < 0 ||
        (src == nullptr && srcLength > 0)) {
        return 0;
    }
    ZlibScratchArea area(work, GetCompressWorkSize());
    ZlibDeflateSession session(area);
    if (!session.IsReady()) {
        return 0;
    }
    WriteHeader(buffer, static_cast<uint32_t>(srcLength), 0);
    z_stream& z = session.stream;
    z.next_in = const_cast<Bytef*>(src);
    z.avail_in = static_cast<uInt>(srcLength);
    z.next_out = buffer + ZLIB_BLOCK_HEADER_SIZE;
    z.avail_out = static_cast<uInt>(bufferSize - ZLIB_BLOCK_HEADER_SIZE);

    // Hands the filled part of the buffer to the writer; false if it balks.
    auto handOver = [&]() {
        const int32_t filled = static_cast<int32_t>(z.next_out - buffer);
        return filled == 0 || io.WriteChunk(buffer, filled) >= filled;
    };
    int rc = deflate(&z, Z_FINISH);
    while (rc == Z_OK) {  // the buffer is full: hand it over and go on
        if (!handOver()) {
            return 0;
        }
        z.next_out = buffer;
        z.avail_out = static_cast<uInt>(bufferSize);
        rc = deflate(&z, Z_FINISH);
    }
    if (!handOver()) {
        return 0;
    }
    if (rc != Z_STREAM_END ||
        z.total_out > static_cast<uLong>(INT32_MAX - ZLIB_BLOCK_HEADER_SIZE)) {
        return 0;
    }
    return ZLIB_BLOCK_HEADER_SIZE + static_cast<int32_t>(z.total_out);
}

int32_t ZlibCodec::DecompressFromReader(uint8_t* dest, uint8_t* buffer, int32_t bufferSize,
                                        void* work, CodecIo& io) {
    return DecompressFromReaderBounded(dest, INT32_MAX, buffer, bufferSize, work, io);
}

int32_t ZlibCodec::DecompressFromReaderBounded(uint8_t* dest, int32_t destCapacity, uint8_t* buffer,
                                               int32_t bufferSize, void* work, CodecIo& io) {
    if (buffer == nullptr || bufferSize < ZLIB_MIN_CHUNK_SIZE) {
        return 0;
    }
    ZlibScratchArea area(work, GetDecompressWorkSize());
    if (!area.IsValid()) {
        return 0;
    }
    const int32_t filled = ReadHeaderChunk(io, buffer, bufferSize);
    if (filled == 0) {
        return 0;
    }
    const int64_t size = SizeThatFits(buffer, destCapacity);
    if (size < 0) {
        return 0;
    }
    ZlibInflateSession session(area, ZLIB_WINDOW_BITS);
    if (!session.IsReady()) {
        return 0;
    }
    z_stream& z = session.stream;
    z.next_in = buffer + ZLIB_BLOCK_HEADER_SIZE;
    z.avail_in = static_cast<uInt>(filled - ZLIB_BLOCK_HEADER_SIZE);
    z.next_out = dest;
    z.avail_out = static_cast<uInt>(size);
    for (;;) {
        const int rc = inflate(&z, Z_SYNC_FLUSH);
        if (rc == Z_STREAM_END) {
            return static_cast<int32_t>(z.total_out);
        }
        // Z_BUF_ERROR only says that no progress was possible; what is
        // missing decides: more input can be fetched, more room cannot.
        if ((rc != Z_OK && rc != Z_BUF_ERROR) || z.avail_in != 0) {
            return 0;
        }
        const int32_t got = io.ReadChunk(buffer, bufferSize);
        if (got <= 0) {
            return 0;  // the input ended before the zlib stream did
        }
        z.next_in = buffer;
        z.avail_in = static_cast<uInt>(std::min(got, bufferSize));
    }
}

}  // namespace vfs
