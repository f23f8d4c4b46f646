// BoundedString: a string over a caller's fixed buffer that never overflows it.
#pragma once

#include <cstdint>

#include "vfs/core/string_view.h"

namespace vfs {

// Text in a buffer of `capacity` bytes that belongs to the caller. The text is
// always NUL-terminated and shorter than the capacity; text that does not fit
// is cut, and `overflow` then tells that the most recent operation lost text.
// A capacity of 0 holds no text at all and writes nothing.
class BoundedString : public StringView {
  public:
    // With startEmpty the text becomes empty; otherwise the buffer's present
    // NUL-terminated text is adopted (cut to fit).
    BoundedString(char* buffer, uint32_t bufferCapacity, bool startEmpty = true);

    // Slot 0: bounded printf-style formatting; cut text sets the flag.
    __attribute__((format(printf, 2, 3))) void Format(const char* format, ...) override;
    // Slot 1: n below the capacity sets the length; anything longer is cut to
    // capacity - 1 and sets the flag.
    void SetLength(uint32_t n) override;
    // Slot 2: frees nothing, the buffer is the caller's.
    virtual ~BoundedString() = default;
    // Slots 3 to 8.
    virtual void Assign(const char& ch);
    virtual void Assign(const char* text);
    virtual void Assign(const StringView& view);
    virtual void Append(const char* text);
    virtual void Append(const char& ch);
    virtual void Append(const StringView& view);

    const char* c_str() const { return capacity == 0 ? "" : data; }

    uint32_t overflow = 0;

  private:
    void CopyIn(uint32_t at, const char* text, uint32_t count);
};

}  // namespace vfs
