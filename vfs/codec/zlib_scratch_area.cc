#include "vfs/codec/zlib_scratch_area.h"

#include <new>

namespace vfs {

ZlibScratchArea::ZlibScratchArea(void* work, int32_t size)
    : base(static_cast<uint8_t*>(work)), capacity(size > 0 ? static_cast<size_t>(size) : 0) {
    if (base == nullptr) {
        owned.reset(new (std::nothrow) uint8_t[capacity]);
        base = owned.get();
    }
}

void* ZlibScratchArea::Allocate(void* opaque, unsigned items, unsigned size) {
    return static_cast<ZlibScratchArea*>(opaque)->Take(static_cast<uint64_t>(items) * size);
}

void ZlibScratchArea::Free(void* /*opaque*/, void* /*address*/) {}

void* ZlibScratchArea::Take(uint64_t bytes) {
    constexpr size_t kAlignment = alignof(std::max_align_t);
    const uintptr_t next = reinterpret_cast<uintptr_t>(base) + used;
    const size_t padding = (kAlignment - next % kAlignment) % kAlignment;
    if (spent || bytes > capacity - used || padding > capacity - used - bytes) {
        spent = true;  // no later request may succeed either
        return nullptr;
    }
    void* piece = base + used + padding;
    used += padding + static_cast<size_t>(bytes);
    return piece;
}

}  // namespace vfs
