#include "vfs/core/vfs_string.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "vfs/core/format_estimate.h"

namespace vfs {

VfsString::VfsString() {
    capacity = CapacityFor(0);
    data = new char[capacity + 1];
    data[0] = '\0';
}

VfsString::VfsString(const char* text) {
    length = text == nullptr ? 0 : static_cast<uint32_t>(std::strlen(text));
    capacity = CapacityFor(length);
    data = new char[capacity + 1];
    if (length > 0) {
        std::memcpy(data, text, length);
    }
    data[length] = '\0';
}

VfsString::VfsString(const VfsString& other) : VfsString(static_cast<const StringView&>(other)) {}

VfsString::VfsString(const StringView& view) : StringView() {
    length = view.length;
    capacity = CapacityFor(length);
    data = new char[capacity + 1];
    if (length > 0) {
        std::memcpy(data, view.data, length);
    }
    data[length] = '\0';
}

VfsString& VfsString::operator=(const VfsString& other) {
    if (this != &other) {
        Assign(other);
    }
    return *this;
}

VfsString::~VfsString() {
    delete[] data;
}

void VfsString::SetLength(uint32_t n) {
    if (n <= capacity) {
        length = n;
        data[n] = '\0';
        return;
    }
    char* old = data;
    Allocate(n);
    // The old text up to its first NUL; the rest up to n is undefined, but
    // zero it so that nothing ever reads uninitialised bytes.
    size_t keep = strnlen(old, n);
    std::memcpy(data, old, keep);
    std::memset(data + keep, 0, n - keep);
    delete[] old;
}

void VfsString::Allocate(uint32_t n) {
    capacity = CapacityFor(n);
    data = new char[capacity + 1];
    length = n;
    data[n] = '\0';
}

void VfsString::Assign(const char& ch) {
    if (ch == '\0') {
        SetLength(0);
        return;
    }
    SetLength(1);
    data[0] = ch;
}

void VfsString::Assign(const char* text) {
    if (text == nullptr) {
        SetLength(0);
        return;
    }
    uint32_t n = static_cast<uint32_t>(std::strlen(text));
    SetLength(n);
    std::memmove(data, text, n + 1);
}

void VfsString::Assign(const VfsString& other) {
    StringView view(other.data, other.length);
    view.capacity = other.capacity;
    AssignView(view);
}

void VfsString::AssignView(StringView view) {
    if (length < view.length) {
        // Growing may move the block; a view of our own text must follow it.
        bool own = view.data >= data && view.data <= data + capacity;
        std::ptrdiff_t offset = own ? view.data - data : 0;
        SetLength(view.length);
        if (own) {
            view.data = data + offset;
        }
    }
    // Front to back, so that a view of this string's own text works.
    for (uint32_t i = 0; i < view.length; ++i) {
        data[i] = view.data[i];
    }
    SetLength(view.length);
}

void VfsString::Append(const char* text) {
    if (text == nullptr) {
        return;
    }
    uint32_t old = length;
    uint32_t n = static_cast<uint32_t>(std::strlen(text));
    SetLength(old + n);
    std::memcpy(data + old, text, n);
    data[old + n] = '\0';
}

void VfsString::Append(const char& ch) {
    if (ch == '\0') {
        return;
    }
    SetLength(length + 1);
    data[length - 1] = ch;
}

void VfsString::Append(const StringView& view) {
    // Copy the view first: it may point into this string's block.
    uint32_t n = static_cast<uint32_t>(strnlen(view.data == nullptr ? "" : view.data, view.length));
    VfsString copy(StringView(view.data, n));
    uint32_t old = length;
    SetLength(old + n);
    std::memcpy(data + old, copy.data, n);
    SetLength(old + n);
}

char* VfsString::GetBuffer(uint32_t n) {
    SetLength(n);
    return data;
}

void VfsString::ReleaseBuffer(int32_t n) {
    if (n == -1) {
        SetLength(static_cast<uint32_t>(strnlen(data, capacity)));
    } else {
        SetLength(static_cast<uint32_t>(n));
    }
}

bool VfsString::operator==(const char* text) const {
    if (text == nullptr) {
        return length == 0;
    }
    return std::strlen(text) == length && std::memcmp(data, text, length) == 0;
}

bool VfsString::operator!=(const char& ch) const {
    if (length > 1) {
        return true;
    }
    return data[0] != ch;
}

int32_t VfsString::Find(char ch, uint32_t start) const {
    if (start > length) {
        start = length;
    }
    if (ch == '\0' || start >= length) {
        return -1;
    }
    const void* hit = std::memchr(data + start, ch, length - start);
    return hit == nullptr ? -1 : static_cast<int32_t>(static_cast<const char*>(hit) - data);
}

int32_t VfsString::Find(const char* text, uint32_t start) const {
    if (text == nullptr) {
        return -1;
    }
    if (start > length) {
        start = length;
    }
    const char* hit = std::strstr(data + start, text);
    return hit == nullptr ? -1 : static_cast<int32_t>(hit - data);
}

int32_t VfsString::ReverseFind(const char* text, uint32_t start) const {
    if (text == nullptr || length == 0) {
        return -1;
    }
    uint32_t m = static_cast<uint32_t>(std::strlen(text));
    if (m >= length) {
        return -1;
    }
    uint32_t last = length - m;
    uint32_t i = (start == UINT32_MAX || start > length) ? last : start;
    if (i > last) {
        // A match starting here would run past the end.
        i = last;
    }
    for (;;) {
        if (std::memcmp(data + i, text, m) == 0) {
            return static_cast<int32_t>(i);
        }
        if (i == 0) {
            return -1;
        }
        --i;
    }
}

int32_t VfsString::FindOneOf(const char* set, uint32_t start) const {
    if (start > length) {
        start = length;
    }
    if (set == nullptr || start >= length) {
        return -1;
    }
    for (uint32_t i = start; i < length; ++i) {
        if (data[i] != '\0' && std::strchr(set, data[i]) != nullptr) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

int32_t VfsString::ReverseFindOneOf(const char* set, uint32_t start) const {
    if (set == nullptr || length == 0) {
        return -1;
    }
    uint32_t i = start < length - 1 ? start : length - 1;
    for (;;) {
        if (data[i] != '\0' && std::strchr(set, data[i]) != nullptr) {
            return static_cast<int32_t>(i);
        }
        if (i == 0) {
            return -1;
        }
        --i;
    }
}

StringView VfsString::Left(uint32_t n) const {
    return StringView(data, n < length ? n : length);
}

StringView VfsString::Right(uint32_t n) const {
    uint32_t count = n < length ? n : length;
    return StringView(data + (length - count), count);
}

StringView VfsString::Mid(uint32_t start) const {
    uint32_t s = start < length ? start : length;
    return StringView(data + s, length - s);
}

StringView VfsString::Mid(uint32_t start, uint32_t count) const {
    uint32_t s = start < length ? start : length;
    uint32_t rest = length - s;
    return StringView(data + s, count < rest ? count : rest);
}

void VfsString::Format(const char* format, ...) {
    if (format == nullptr) {
        SetLength(0);
        return;
    }
    va_list args;
    va_start(args, format);
    va_list estimateArgs;
    va_copy(estimateArgs, args);
    uint32_t estimate = EstimateFormattedLength(format, estimateArgs);
    va_end(estimateArgs);
    SetLength(estimate);

    // The estimate can fall short; the bounded formatter says how much the
    // whole text needs, and a second pass then has room for all of it.
    va_list firstArgs;
    va_copy(firstArgs, args);
    int written = std::vsnprintf(data, capacity + 1, format, firstArgs);
    va_end(firstArgs);
    if (written < 0) {
        va_end(args);
        SetLength(0);
        return;
    }
    if (static_cast<uint32_t>(written) > capacity) {
        SetLength(static_cast<uint32_t>(written));
        std::vsnprintf(data, capacity + 1, format, args);
    }
    va_end(args);
    SetLength(static_cast<uint32_t>(written));
}

}  // namespace vfs
