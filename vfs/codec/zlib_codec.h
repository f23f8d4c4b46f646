// The zlib-framed block format and its codec.
//
// A block is a 28-byte header of seven unsigned 32-bit little-endian fields,
// then a zlib stream (deflate data with the zlib header and Adler-32 trailer):
//
//   0   magic, the bytes "BILZ"
//   4   decompressed size
//   8   block size: 28 + the zlib stream's length (0 when streamed out)
//   12  window bits (15)
//   16  memory level (9)
//   20  reserved, 0
//   24  reserved, 0
//
// Readers check the magic and take the decompressed size; the whole-buffer
// decoder also takes the window bits. All memory zlib asks for during one
// call comes from one scratch area, the caller's or one allocated for the
// call.
#pragma once

#include <cstdint>

#include "vfs/codec/codec.h"
#include "vfs/codec/codec_io.h"
#include "vfs/core/export.h"

namespace vfs {

inline constexpr uint32_t ZLIB_BLOCK_MAGIC = 0x5A4C4942;  // "BILZ" read little-endian
inline constexpr int32_t ZLIB_BLOCK_HEADER_SIZE = 28;
// The smallest chunk DecompressFromReader accepts: the header and some data.
inline constexpr int32_t ZLIB_MIN_CHUNK_SIZE = 30;

class TARNVFS_API ZlibCodec : public Codec {
  public:
    // Compresses into a block no longer than the input: dest must have room
    // for srcLength bytes. Inputs of 28 bytes or fewer, and inputs that do
    // not shrink enough to fit, give 0.
    int32_t Compress(uint8_t* dest, const uint8_t* src, int32_t srcLength, void* work) override;

    // Trusting decode into dest, which must hold the header's size. Returns
    // the number of bytes decoded, or 0.
    int32_t Decompress(uint8_t* dest, const uint8_t* src, void* work) override;

    // What zlib 1.2.13 asks for during one whole call with these parameters,
    // alignment padding included (399168 and 39936 bytes, up to 15 more on a
    // misaligned area), rounded up to 4 KiB; the codec tests fail should the
    // linked zlib ever need more.
    int32_t GetCompressWorkSize() override { return kCompressWorkSize; }
    int32_t GetDecompressWorkSize() override { return kDecompressWorkSize; }

    // The size at offset 4 if the magic matches, else 0.
    int32_t GetDecompressedSize(const uint8_t* src) override;

    // Checked decode of the srcLength bytes at src. Fails (0) on a wrong
    // magic, a header above destCapacity, a window-bits field outside 8-15,
    // data that is damaged or ends before the zlib stream does, or a stream
    // that decodes to more than the header records. Decodes with libdeflate,
    // and with zlib where libdeflate refuses, so that what decodes is what
    // zlib decodes; `work` serves only zlib.
    int32_t DecompressBounded(uint8_t* dest, int32_t destCapacity, const uint8_t* src,
                              int32_t srcLength, void* work) override;

    // As DecompressBounded, but decodes as DecompressFromReader does: the
    // header's window-bits field is not read (the stream may use up to 15).
    // For a block held whole in memory, which DecompressFromReader would
    // otherwise pull through chunks.
    int32_t DecompressWholeBlock(uint8_t* dest, int32_t destCapacity, const uint8_t* src,
                                 int32_t srcLength, void* work);

    // Checked decode into exactly `size` bytes at dest, as
    // DecompressWholeBlock decodes: true when the srcLength bytes at src
    // begin with an intact block whose header records `size` and whose
    // stream makes that many bytes. Unlike the decoders above, which answer
    // 0 for an empty block and for a broken one alike, this tells an intact
    // empty block from a broken one.
    bool DecodeExactly(uint8_t* dest, int32_t size, const uint8_t* src, int32_t srcLength,
                       void* work);

    // Compresses srcLength bytes at src through `buffer` (bufferSize bytes,
    // more than 28): the header (block size 0) and the zlib stream go to
    // io.WriteChunk, a buffer at a time, the first chunk beginning with the
    // header. Returns 28 + the zlib stream's length, or 0 (also when the
    // writer takes fewer bytes than it is given).
    virtual int32_t CompressToWriter(const uint8_t* src, int32_t srcLength, uint8_t* buffer,
                                     int32_t bufferSize, void* work, CodecIo& io);

    // Decodes a block read chunk by chunk through io.ReadChunk into `buffer`
    // (bufferSize bytes, at least 30) into dest, which must hold the header's
    // size. Returns the number of bytes decoded, or 0, also when the reader
    // has nothing more before the zlib stream ends.
    virtual int32_t DecompressFromReader(uint8_t* dest, uint8_t* buffer, int32_t bufferSize,
                                         void* work, CodecIo& io);

    // As DecompressFromReader, into a dest of destCapacity bytes: a header
    // recording more than that fails at once.
    virtual int32_t DecompressFromReaderBounded(uint8_t* dest, int32_t destCapacity,
                                                uint8_t* buffer, int32_t bufferSize, void* work,
                                                CodecIo& io);

  private:
    // The number of bytes decoded, or -1 for a block that does not decode.
    int64_t DecodeWhole(uint8_t* dest, int32_t destCapacity, const uint8_t* src, int32_t srcLength,
                        uint32_t windowBits, void* work);

    static constexpr int32_t kCompressWorkSize = 401408;
    static constexpr int32_t kDecompressWorkSize = 40960;
};

}  // namespace vfs
