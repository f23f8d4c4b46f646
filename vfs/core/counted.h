// The reference-counting protocol shared by FileSystem and Stream.
#pragma once

#include <atomic>
#include <cstdint>

namespace vfs {

// AddRef of a counted object: interlocked increment, returns the new count.
inline int32_t AddRefCounted(std::atomic<int32_t>& count) {
    return ++count;
}

// Release of a counted object. When the count drops to 0 the object is closed,
// lets go of the object it is stacked on (`link`), and is deleted through its
// virtual destructor; returns 0 then, and otherwise the count after the
// decrement (which another thread may already have changed).
template <class Object>
int32_t ReleaseCounted(Object* self, std::atomic<int32_t>& count, Object*& link) {
    int32_t remaining = --count;
    if (remaining > 0) {
        return remaining;
    }
    self->Close();
    if (link != nullptr) {
        link->Release();
        link = nullptr;
    }
    delete self;
    return 0;
}

}  // namespace vfs
