#include "tools/text_format.h"

#include <cstdio>

namespace tarnwad::cli {

namespace {

// Length of the UTF-8 sequence at `i`, with its code point in *code, or 0
// when none starts there.
size_t Utf8Sequence(const std::string& text, size_t i, uint32_t* code) {
    auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    uint8_t lead = byte(i);
    size_t length = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, *code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, *code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, *code = lead & 0x07u;
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
        *code = (*code << 6) | (byte(i + k) & 0x3Fu);
    }
    bool surrogate = *code >= 0xD800 && *code <= 0xDFFF;
    return *code < minimum || *code > 0x10FFFF || surrogate ? 0 : length;
}

bool IsUtf8(const std::string& text) {
    uint32_t code;
    for (size_t i = 0; i < text.size();) {
        size_t length = Utf8Sequence(text, i, &code);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

// Whether a terminal may act on `code` instead of showing it: the C0 and C1
// controls and DEL, which start escape sequences or move the cursor, and the
// marks and overrides of bidirectional text and the line and paragraph
// separators, which reorder or break what follows them on the line.
bool DrivesTheTerminal(uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x061C || code == 0x200E ||
           code == 0x200F || (code >= 0x2028 && code <= 0x202E) ||
           (code >= 0x2066 && code <= 0x2069);
}

}  // namespace

std::string JsonString(const std::string& text) {
    const bool utf8 = IsUtf8(text);
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        uint32_t code = static_cast<uint8_t>(text[i]);
        size_t length = utf8 ? Utf8Sequence(text, i, &code) : 1;
        switch (code) {
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
                // A Latin-1 byte becomes its own code point.
                if (DrivesTheTerminal(code) || (!utf8 && code >= 0x80)) {
                    char escape[16];
                    std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(code));
                    out += escape;
                } else {
                    out.append(text, i, length);
                }
        }
        i += length;
    }
    out += '"';
    return out;
}

std::string HexBytes(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        auto byte = static_cast<uint8_t>(c);
        out += digits[byte >> 4];
        out += digits[byte & 0xF];
    }
    return out;
}

std::string PrintableText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        uint32_t code;
        size_t length = Utf8Sequence(text, i, &code);
        char escape[16];
        if (length == 0) {
            // Not UTF-8: the byte itself, which a terminal could read as a
            // C1 control or as part of another character.
            std::snprintf(escape, sizeof(escape), "\\x%02X", static_cast<uint8_t>(text[i]));
            out += escape;
            length = 1;
        } else if (!DrivesTheTerminal(code)) {
            out.append(text, i, length);
        } else if (code < 0x80) {
            std::snprintf(escape, sizeof(escape), "\\x%02X", static_cast<unsigned>(code));
            out += escape;
        } else {
            std::snprintf(escape, sizeof(escape), "\\u%04X", static_cast<unsigned>(code));
            out += escape;
        }
        i += length;
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
