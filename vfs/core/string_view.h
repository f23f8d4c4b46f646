// StringView: the common base of the library's 8-bit string classes.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"

namespace vfs {

// A (length, pointer) pair over text the view does not own. The text need
// not be NUL-terminated at `length`. VfsString and BoundedString derive from
// it and give meaning to `capacity` and to the two virtual operations, which
// do nothing here. A view is valid only while the string it was taken from is
// neither changed nor destroyed.
class TARNVFS_API StringView {
  public:
    StringView() = default;
    StringView(const char* text, uint32_t textLength)
        : length(textLength), data(const_cast<char*>(text)) {}
    StringView(const StringView&) = default;
    StringView& operator=(const StringView&) = default;
    // Not virtual: the derived classes put their destructors after their own
    // first slots, and nothing deletes a string through a view.
    ~StringView() = default;

    // Slot 0: replaces the text with formatted output. Nothing in a view.
    virtual void Format(const char* /*format*/, ...) {}
    // Slot 1: changes the length. Nothing in a view.
    virtual void SetLength(uint32_t /*n*/) {}

    uint32_t length = 0;
    char* data = nullptr;
    uint32_t capacity = 0;
};

}  // namespace vfs
