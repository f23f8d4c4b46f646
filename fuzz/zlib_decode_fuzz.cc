// Arbitrary bytes as a zlib-framed block, through the checked whole-buffer
// decoder and through the chunked reader, each into a destination of exactly
// the size the header claims (capped). Where the header asks for the
// reader's window, both decoders must agree.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vfs/codec/zlib_codec.h"

namespace {

constexpr uint32_t kMaxOutput = 1 << 20;

uint32_t FieldAt(const uint8_t* data, size_t size, size_t offset) {
    if (size < offset + 4) {
        return 0;
    }
    return static_cast<uint32_t>(data[offset]) | (static_cast<uint32_t>(data[offset + 1]) << 8) |
           (static_cast<uint32_t>(data[offset + 2]) << 16) |
           (static_cast<uint32_t>(data[offset + 3]) << 24);
}

// Serves the input in pieces of a fixed size.
class SliceReader : public vfs::CodecIo {
  public:
    SliceReader(const uint8_t* data, size_t size, size_t piece)
        : data(data), size(size), piece(piece) {}

    int32_t WriteChunk(const uint8_t*, int32_t) override { return 0; }

    int32_t ReadChunk(uint8_t* buffer, int32_t count) override {
        const size_t amount = std::min({static_cast<size_t>(count), piece, size - position});
        if (amount > 0) {
            std::memcpy(buffer, data + position, amount);
        }
        position += amount;
        return static_cast<int32_t>(amount);
    }

  private:
    const uint8_t* data;
    size_t size;
    size_t piece;
    size_t position = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX) {
        return 0;
    }
    vfs::ZlibCodec codec;
    const uint32_t claimed = FieldAt(data, size, 4);
    const int32_t capacity = static_cast<int32_t>(std::min(claimed, kMaxOutput));

    std::vector<uint8_t> whole(static_cast<size_t>(capacity));
    const int32_t wholeResult =
        codec.DecompressBounded(whole.data(), capacity, data, static_cast<int32_t>(size), nullptr);

    // Chunk and piece sizes picked by the input's length, so both vary.
    const int32_t chunkSize = vfs::ZLIB_MIN_CHUNK_SIZE + static_cast<int32_t>(size % 200);
    SliceReader reader(data, size, 1 + size % 61);
    std::vector<uint8_t> chunk(static_cast<size_t>(chunkSize));
    std::vector<uint8_t> chunked(static_cast<size_t>(capacity));
    const int32_t chunkedResult = codec.DecompressFromReaderBounded(
        chunked.data(), capacity, chunk.data(), chunkSize, nullptr, reader);

    if (wholeResult > capacity || chunkedResult > capacity) {
        std::abort();
    }
    if (FieldAt(data, size, 12) == 15 &&
        (wholeResult != chunkedResult ||
         !std::equal(whole.begin(), whole.begin() + wholeResult, chunked.begin()))) {
        std::abort();  // the two decoders disagree about the same stream
    }
    return 0;
}
