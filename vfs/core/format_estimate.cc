#include "vfs/core/format_estimate.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace vfs {

namespace {

// The estimate only sizes a first try; a longer text is formatted again.
constexpr uint64_t kMaxEstimate = uint64_t{1} << 26;

enum class SizePrefix { kNone, kNarrow, kWide };

uint32_t ReadNumber(const char*& p) {
    uint32_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = std::min<uint32_t>(value * 10 + static_cast<uint32_t>(*p - '0'), 1u << 24);
        ++p;
    }
    return value;
}

uint32_t NonNegative(int value) {
    return value < 0 ? 0 : static_cast<uint32_t>(value);
}

}  // namespace

uint32_t EstimateFormattedLength(const char* format, va_list args) {
    uint64_t total = 0;
    const char* p = format;
    while (*p != '\0') {
        if (*p != '%') {
            ++total;
            ++p;
            continue;
        }
        ++p;
        if (*p == '\0') {
            break;
        }
        if (*p == '%') {
            ++total;
            ++p;
            continue;
        }
        uint32_t width = 0;
        for (bool flags = true; flags;) {
            switch (*p) {
                case '#':
                    total += 2;
                    ++p;
                    break;
                case '*':
                    width = NonNegative(va_arg(args, int));
                    ++p;
                    break;
                case '-':
                case '+':
                case '0':
                case ' ':
                    ++p;
                    break;
                default:
                    flags = false;
            }
        }
        if (width == 0) {
            width = ReadNumber(p);
        }
        uint32_t precision = 0;
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                precision = NonNegative(va_arg(args, int));
                ++p;
            } else {
                precision = ReadNumber(p);
            }
        }
        SizePrefix prefix = SizePrefix::kNone;
        switch (*p) {
            case 'h':
                prefix = SizePrefix::kNarrow;
                ++p;
                break;
            case 'l':
                prefix = SizePrefix::kWide;
                ++p;
                break;
            case 'F':
            case 'L':
            case 'N':
                ++p;
                break;
            default:
                break;
        }
        uint64_t item = 0;
        switch (*p) {
            case 'c':
            case 'C':
                item = 2;
                va_arg(args, int);
                break;
            case 's':
            case 'S':
                if (prefix == SizePrefix::kWide) {
                    const wchar_t* text = va_arg(args, const wchar_t*);
                    item = text == nullptr ? 6 : std::max<size_t>(std::wcslen(text), 1);
                } else {
                    const char* text = va_arg(args, const char*);
                    item = text == nullptr ? 6 : std::max<size_t>(std::strlen(text), 1);
                }
                item = std::max<uint64_t>(item, width);
                if (precision != 0) {
                    item = std::min<uint64_t>(item, precision);
                }
                break;
            case 'd':
            case 'i':
            case 'o':
            case 'u':
            case 'x':
            case 'X':
                item = std::max<uint64_t>(32, uint64_t{width} + precision);
                // 'l' names a long, which is wider than 32 bits on some hosts.
                if (prefix == SizePrefix::kWide) {
                    va_arg(args, long);
                } else {
                    va_arg(args, int);
                }
                break;
            case 'p':
                item = std::max<uint64_t>(32, uint64_t{width} + precision);
                va_arg(args, void*);
                break;
            case 'e':
            case 'f':
            case 'g':
            case 'G':
                item = std::max<uint64_t>(128, uint64_t{width} + precision);
                va_arg(args, double);
                break;
            case 'n':
                va_arg(args, void*);
                break;
            case '\0':
                return static_cast<uint32_t>(std::min<uint64_t>(total, kMaxEstimate));
            default:
                break;
        }
        total += item;
        ++p;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(total, kMaxEstimate));
}

}  // namespace vfs
