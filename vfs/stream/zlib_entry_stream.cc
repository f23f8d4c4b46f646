#include "vfs/stream/zlib_entry_stream.h"

#include <algorithm>
#include <memory>
#include <new>

#include "vfs/codec/shared_codec.h"
#include "vfs/codec/zlib_codec.h"

namespace vfs {

namespace {

uint32_t ReadLittleEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
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
    // The whole block in one read, then one call of the whole-block decoder:
    // it decodes as the chunked reader of the shared codec would, several
    // times faster. A short read (stored bytes beyond the archive's end)
    // leaves a cut block, which the decoder refuses.
    const int32_t storedSize = inner->GetSize();
    if (storedSize < ZLIB_BLOCK_HEADER_SIZE) {
        return false;
    }
    std::unique_ptr<uint8_t[]> stored(new (std::nothrow) uint8_t[storedSize]);
    if (stored == nullptr) {
        return false;
    }
    const int32_t got = std::min(inner->Read(stored.get(), storedSize), storedSize);
    if (got < ZLIB_BLOCK_HEADER_SIZE || ReadLittleEndian32(stored.get()) != ZLIB_BLOCK_MAGIC) {
        return false;
    }
    // A block that records another size than the entry's is refused before
    // anything is decoded into the entry's buffer. An empty entry then needs
    // nothing more: the codec reports its 0 bytes the same way as a failure.
    if (ReadLittleEndian32(stored.get() + 4) != static_cast<uint32_t>(size)) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    return GetZlibCodec().DecompressWholeBlock(buffer, size, stored.get(), got, nullptr) == size;
}

}  // namespace vfs
