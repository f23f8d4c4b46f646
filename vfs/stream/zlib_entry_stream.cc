#include "vfs/stream/zlib_entry_stream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "vfs/codec/shared_codec.h"
#include "vfs/codec/zlib_codec.h"

namespace vfs {

namespace {

// What the reader callback pulls the stored bytes from, and the first bytes
// it delivered (the block header).
struct StoredBytes {
    Stream* source;
    int32_t expectedSize;
    uint8_t header[ZLIB_BLOCK_HEADER_SIZE];
    int32_t headerBytes;
    bool refused;
};

constexpr int32_t kSizeFieldEnd = 8;  // the decompressed size: bytes 4 to 7

uint32_t ReadLittleEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Fills the codec's chunk from the stored bytes. As soon as the header's
// size field has come in, a block that records another size than the
// entry's ends the input, before anything is decoded into the entry's buffer.
int32_t ReadStoredChunk(uint8_t* chunk, int32_t count, void* userValue) {
    auto* stored = static_cast<StoredBytes*>(userValue);
    if (stored->refused) {
        return 0;
    }
    int32_t got = std::min(stored->source->Read(chunk, count), count);
    if (got <= 0 || stored->headerBytes >= ZLIB_BLOCK_HEADER_SIZE) {
        return got;
    }
    bool sizeWasIn = stored->headerBytes >= kSizeFieldEnd;
    int32_t take = std::min(got, ZLIB_BLOCK_HEADER_SIZE - stored->headerBytes);
    std::memcpy(stored->header + stored->headerBytes, chunk, static_cast<size_t>(take));
    stored->headerBytes += take;
    if (!sizeWasIn && stored->headerBytes >= kSizeFieldEnd &&
        ReadLittleEndian32(stored->header + 4) != static_cast<uint32_t>(stored->expectedSize)) {
        stored->refused = true;
        return 0;
    }
    return got;
}

}  // namespace

void ZlibEntryStream::Attach(Stream* stream) {
    MemoryStream::Attach(stream);
    if (IsAwaitingDecode()) {
        FinishDecode(Decode());
    }
}

bool ZlibEntryStream::Decode() {
    if (inner == nullptr) {
        return false;
    }
    std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kChunkSize]);
    if (chunk == nullptr) {
        return false;
    }
    StoredBytes stored{inner, size, {}, 0, false};
    int32_t produced = DecompressWithReaderBounded(buffer, size, chunk.get(), kChunkSize,
                                                   ReadStoredChunk, &stored, nullptr);
    if (stored.refused) {
        return false;
    }
    if (size > 0) {
        return produced == size;
    }
    // An empty entry decodes to 0 bytes, which the codec reports the same way
    // as a failure: accept a whole header with the magic (its size field,
    // 0, has been checked by the reader).
    return stored.headerBytes == ZLIB_BLOCK_HEADER_SIZE &&
           ReadLittleEndian32(stored.header) == ZLIB_BLOCK_MAGIC;
}

}  // namespace vfs
