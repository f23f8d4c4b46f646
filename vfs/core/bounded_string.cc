#include "vfs/core/bounded_string.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vfs {

BoundedString::BoundedString(char* buffer, uint32_t bufferCapacity, bool startEmpty) {
    data = buffer;
    capacity = bufferCapacity;
    if (capacity == 0) {
        length = 0;
        overflow = 1;
        return;
    }
    if (startEmpty) {
        SetLength(0);
    } else {
        SetLength(static_cast<uint32_t>(strnlen(buffer, capacity)));
    }
}

void BoundedString::SetLength(uint32_t n) {
    if (capacity == 0) {
        length = 0;
        overflow = 1;
        return;
    }
    if (n < capacity) {
        length = n;
        overflow = 0;
    } else {
        length = capacity - 1;
        overflow = 1;
    }
    data[length] = '\0';
}

void BoundedString::CopyIn(uint32_t at, const char* text, uint32_t count) {
    if (count > 0) {
        std::memmove(data + at, text, count);
    }
}

void BoundedString::Format(const char* format, ...) {
    if (format == nullptr) {
        SetLength(0);
        return;
    }
    if (capacity == 0) {
        SetLength(0);
        return;
    }
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(data, capacity, format, args);
    va_end(args);
    if (written < 0) {
        SetLength(0);
    } else if (static_cast<uint32_t>(written) >= capacity) {
        SetLength(capacity);  // cut to capacity - 1, flag set
    } else {
        SetLength(static_cast<uint32_t>(written));
    }
}

void BoundedString::Assign(const char& ch) {
    if (ch == '\0') {
        SetLength(0);
        return;
    }
    SetLength(1);
    if (overflow == 0) {
        data[0] = ch;
    }
}

void BoundedString::Assign(const char* text) {
    if (text == nullptr) {
        SetLength(0);
        return;
    }
    uint32_t n = static_cast<uint32_t>(std::strlen(text));
    // Copy before the terminator goes in: text may be this buffer's own.
    uint32_t fit = capacity == 0 ? 0 : (n < capacity ? n : capacity - 1);
    CopyIn(0, text, fit);
    SetLength(n);
}

void BoundedString::Assign(const StringView& view) {
    uint32_t fit = capacity == 0 ? 0 : (view.length < capacity ? view.length : capacity - 1);
    CopyIn(0, view.data, fit);
    SetLength(view.length);
}

void BoundedString::Append(const char* text) {
    if (text == nullptr) {
        return;
    }
    uint32_t old = length;
    uint32_t n = static_cast<uint32_t>(std::strlen(text));
    uint64_t wanted = uint64_t{old} + n;
    SetLength(wanted > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(wanted));
    CopyIn(old, text, length - old);
    if (capacity != 0) {
        data[length] = '\0';
    }
}

void BoundedString::Append(const char& ch) {
    if (ch == '\0') {
        return;
    }
    SetLength(length + 1);
    if (overflow == 0) {
        data[length - 1] = ch;
    }
}

void BoundedString::Append(const StringView& view) {
    uint32_t old = length;
    uint64_t wanted = uint64_t{old} + view.length;
    SetLength(wanted > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(wanted));
    CopyIn(old, view.data, length - old);
    if (capacity != 0) {
        data[length] = '\0';
    }
}

}  // namespace vfs
