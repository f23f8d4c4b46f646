#include "tools/text_format.h"

#include <cstdio>

namespace tarnwad::cli {

namespace {

// Length of the UTF-8 sequence at `i`, or 0 when none starts there.
size_t Utf8SequenceLength(const std::string& text, size_t i) {
    auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    uint8_t lead = byte(i);
    size_t length = 0;
    uint32_t minimum = 0;
    uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

bool IsUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

std::string JsonString(const std::string& text) {
    bool utf8 = IsUtf8(text);
    std::string out = "\"";
    for (char c : text) {
        auto byte = static_cast<uint8_t>(c);
        char escape[8];
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || (byte >= 0x80 && !utf8)) {
                    std::snprintf(escape, sizeof(escape), "\\u%04x", byte);
                    out += escape;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string PrintableText(const std::string& text) {
    std::string out;
    for (char c : text) {
        auto byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\x%02X", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

std::string HumanSize(double bytes) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024.0 && unit < 4) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    if (unit == 0) {
        std::snprintf(text, sizeof(text), "%.0f B", bytes);
    } else {
        std::snprintf(text, sizeof(text), "%.1f %s", bytes, units[unit]);
    }
    return text;
}

std::string ClockTime(double seconds) {
    if (!(seconds >= 0.0) || seconds > 359999.0) {
        return "--:--";
    }
    auto total = static_cast<uint32_t>(seconds + 0.5);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof(text), "%u:%02u:%02u", total / 3600, total / 60 % 60,
                      total % 60);
    } else {
        std::snprintf(text, sizeof(text), "%u:%02u", total / 60, total % 60);
    }
    return text;
}

}  // namespace tarnwad::cli
