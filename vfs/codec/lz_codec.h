// The library's own LZ77 block format and its codec.
//
// A block is a header (0x10 0xFB and the decompressed size as a 24-bit
// big-endian number; the long form 0x11 0xFB carries three more bytes before
// the size) followed by one-byte-aligned commands. Each command carries 0 to
// 112 literal bytes and, for the three copy forms, a back-reference into the
// output already produced:
//
//   short copy   0ddnnnll dddddddd                     N 3-10,   D 1-1024
//   medium copy  10nnnnnn lldddddd dddddddd            N 4-67,   D 1-16384
//   long copy    110dnnll dddddddd dddddddd nnnnnnnn   N 5-1028, D 1-131072
//   literal run  111rrrrr (0xE0-0xFB)                  ((r + 1) * 4) literals
//   stop         111111ll (0xFC-0xFF)                  l literals, then the end
//
// where the fields hold D - 1, N minus the form's minimum and L. The literals
// follow the command bytes; a copy then repeats N bytes from D bytes back,
// byte by byte, so a distance below the length repeats the last D bytes.
#pragma once

#include <cstdint>

#include "vfs/codec/codec.h"
#include "vfs/core/export.h"

namespace vfs {

inline constexpr uint8_t LZ_HEADER_FLAGS = 0x10;
inline constexpr uint8_t LZ_HEADER_LONG = 0x01;  // flag bit: three extra header bytes
inline constexpr uint8_t LZ_MAGIC = 0xFB;
inline constexpr int32_t LZ_SHORT_HEADER_SIZE = 5;
inline constexpr int32_t LZ_LONG_HEADER_SIZE = 8;
inline constexpr int32_t LZ_MAX_SIZE = 0xFFFFFF;  // the largest size the header can record
inline constexpr int32_t LZ_MAX_COPY_LENGTH = 1028;
inline constexpr int32_t LZ_WINDOW = 131071;  // the farthest distance the encoder uses

class TARNVFS_API LzCodec : public Codec {
  public:
    // Compresses with a greedy hash-chain matcher. dest must have room for
    // GetMaxCompressedSize(srcLength) bytes. Fails when it has to allocate
    // its work area and cannot, and for inputs longer than LZ_MAX_SIZE, whose
    // size the header cannot record.
    int32_t Compress(uint8_t* dest, const uint8_t* src, int32_t srcLength, void* work) override;

    // Trusting decode: returns 0 for a null src, otherwise decodes until the
    // stop command into dest, which must hold the header's size.
    int32_t Decompress(uint8_t* dest, const uint8_t* src, void* work) override;

    int32_t GetCompressWorkSize() override { return kCompressWorkSize; }
    int32_t GetDecompressWorkSize() override { return 0; }

    // The size at offset 2 if the block starts 0x10 0xFB, else the one at
    // offset 5 (the long header). 0 for a null src.
    int32_t GetDecompressedSize(const uint8_t* src) override;

    // Checked decode; `work` is not used. Fails (0) when the block is shorter
    // than its header, records a size above destCapacity, reads past srcLength,
    // copies from before the start of the output, produces more or fewer bytes
    // than its header records, or ends without a stop command.
    int32_t DecompressBounded(uint8_t* dest, int32_t destCapacity, const uint8_t* src,
                              int32_t srcLength, void* work) override;

    // Checked decode into exactly `size` bytes at dest: true when the
    // srcLength bytes at src begin with an intact block whose header records
    // `size` and whose commands make that many bytes up to the stop command.
    // Unlike the decoders above, which answer 0 for an empty block and for a
    // broken one alike, this tells an intact empty block from a broken one.
    bool DecodeExactly(uint8_t* dest, int32_t size, const uint8_t* src, int32_t srcLength);

    // The worst case of Compress: the header, every byte as a literal, one
    // command byte per 112 literals, and the stop command.
    static constexpr int32_t GetMaxCompressedSize(int32_t srcLength) {
        return LZ_SHORT_HEADER_SIZE + srcLength + srcLength / 112 + 2;
    }

  private:
    static constexpr int32_t kHeadEntries = 65536;
    static constexpr int32_t kChainEntries = 131072;
    static constexpr int32_t kCompressWorkSize =
        (kHeadEntries + kChainEntries) * static_cast<int32_t>(sizeof(int32_t));
};

}  // namespace vfs
