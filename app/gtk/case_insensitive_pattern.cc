#include "app/gtk/case_insensitive_pattern.h"

namespace tarnwad::gui {

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char OtherCase(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A')
                                : static_cast<char>(c - 'A' + 'a');
}

}  // namespace

std::string CaseInsensitivePattern(const std::string& pattern) {
    std::string result;
    size_t i = 0;
    while (i < pattern.size()) {
        char c = pattern[i];
        if (c == '[') {
            // Copy the bracket expression whole. A "]" right after the "["
            // (or after its "!" or "^") is a member, not the end.
            size_t end = i + 1;
            if (end < pattern.size() && (pattern[end] == '!' || pattern[end] == '^')) {
                ++end;
            }
            if (end < pattern.size() && pattern[end] == ']') {
                ++end;
            }
            while (end < pattern.size() && pattern[end] != ']') {
                ++end;
            }
            size_t stop = end < pattern.size() ? end + 1 : end;
            result.append(pattern, i, stop - i);
            i = stop;
        } else if (IsAsciiLetter(c)) {
            result += '[';
            result += c;
            result += OtherCase(c);
            result += ']';
            ++i;
        } else {
            result += c;
            ++i;
        }
    }
    return result;
}

}  // namespace tarnwad::gui
