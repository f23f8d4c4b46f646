// Arbitrary bytes through the checked LZ decoder, into a destination of
// exactly the size the header claims (capped), so that any access outside
// either buffer is a sanitizer report. What the decoder accepts must also
// survive a round trip through the encoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vfs/codec/lz_codec.h"

namespace {

constexpr uint32_t kMaxOutput = 1 << 20;
constexpr int32_t kMaxRoundTrip = 1 << 16;

// The size the decoder will read from the header, or 0 if there is none.
uint32_t ClaimedSize(const uint8_t* data, size_t size) {
    const size_t at = (size > 0 && (data[0] & 1)) ? 5 : 2;
    if (size < at + 3) {
        return 0;
    }
    return (static_cast<uint32_t>(data[at]) << 16) | (static_cast<uint32_t>(data[at + 1]) << 8) |
           data[at + 2];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX) {
        return 0;
    }
    vfs::LzCodec codec;
    const uint32_t claimed = ClaimedSize(data, size);
    // Mostly exactly the claimed size; a set low bit of the last byte asks
    // for one byte less, which must fail cleanly.
    uint32_t capacity = claimed < kMaxOutput ? claimed : kMaxOutput;
    if (capacity > 0 && (data[size - 1] & 1)) {
        --capacity;
    }
    std::vector<uint8_t> dest(capacity);
    const int32_t decoded = codec.DecompressBounded(dest.data(), static_cast<int32_t>(capacity),
                                                    data, static_cast<int32_t>(size), nullptr);
    if (decoded == 0) {
        return 0;
    }
    if (static_cast<uint32_t>(decoded) != claimed || claimed > capacity) {
        std::abort();  // accepted a block whose size disagrees with its header
    }
    if (decoded > kMaxRoundTrip) {
        return 0;
    }
    std::vector<uint8_t> block(static_cast<size_t>(vfs::LzCodec::GetMaxCompressedSize(decoded)));
    const int32_t length = codec.Compress(block.data(), dest.data(), decoded, nullptr);
    block.resize(static_cast<size_t>(length));
    std::vector<uint8_t> again(static_cast<size_t>(decoded));
    if (codec.DecompressBounded(again.data(), decoded, block.data(), length, nullptr) != decoded ||
        again != dest) {
        std::abort();  // the encoder and decoder disagree
    }
    return 0;
}
