// The memory zlib works in during one codec call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vfs {

// A fixed block of memory from which zlib's allocation callback hands out
// consecutive pieces, each aligned for any type; its free callback does
// nothing, since nothing is reused within one call. Once a request does not
// fit, the area counts as spent and every later request fails too.
class ZlibScratchArea {
  public:
    // Serves from the caller's `work` of `size` bytes, or, when work is null,
    // from a block of `size` bytes allocated here and freed with the area.
    ZlibScratchArea(void* work, int32_t size);

    ZlibScratchArea(const ZlibScratchArea&) = delete;
    ZlibScratchArea& operator=(const ZlibScratchArea&) = delete;

    // False when the area had to be allocated and could not be.
    bool IsValid() const { return base != nullptr; }

    // Bytes handed out so far, alignment padding included.
    size_t GetUsed() const { return used; }

    // zlib's allocation and free callbacks; `opaque` is the area.
    static void* Allocate(void* opaque, unsigned items, unsigned size);
    static void Free(void* opaque, void* address);

  private:
    void* Take(uint64_t bytes);

    std::unique_ptr<uint8_t[]> owned;
    uint8_t* base;
    size_t capacity;
    size_t used = 0;
    bool spent = false;
};

}  // namespace vfs
