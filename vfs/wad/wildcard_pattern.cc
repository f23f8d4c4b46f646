#include "vfs/wad/wildcard_pattern.h"

#include <cstring>

namespace vfs {

namespace {

bool IsWildcard(char ch) {
    return ch == '*' || ch == '?';
}

}  // namespace

Result WildcardPattern::Compile(const char* text) {
    segments.clear();
    if (text == nullptr) {
        return Result::Ok();
    }
    const char* p = text;

    // A leading literal run, unless the text begins with a wildcard.
    const char* runEnd = p;
    while (*runEnd != '\0' && !IsWildcard(*runEnd)) {
        ++runEnd;
    }
    if (runEnd != p) {
        segments.emplace_back(StringView(p, static_cast<uint32_t>(runEnd - p)));
        p = runEnd;
    }
    if (*p == '\0') {
        return Result::Ok();
    }

    // The first wildcard opens a segment and keeps whatever follows it.
    VfsString current;
    current.Append(*p);
    ++p;
    while (*p != '\0') {
        char ch = *p++;
        if (!IsWildcard(ch)) {
            current.Append(ch);
            continue;
        }
        segments.push_back(current);
        current.Assign(ch);
        if (ch == '*') {
            while (IsWildcard(*p)) {
                ++p;
            }
        }
    }
    segments.push_back(current);
    return Result::Ok();
}

bool WildcardPattern::Match(const char* name) const {
    const char* rest = name;
    size_t restLength = std::strlen(rest);
    for (size_t i = 0; i < segments.size(); ++i) {
        const VfsString& segment = segments[i];
        bool last = i + 1 == segments.size();
        char kind = segment.data[0];
        if (kind == '*') {
            const char* hit = std::strstr(rest, segment.data + 1);
            if (hit == nullptr) {
                return false;
            }
            size_t consumed = static_cast<size_t>(hit - rest) + (segment.length - 1);
            rest += consumed;
            restLength -= consumed;
            if (last) {
                return true;
            }
            continue;
        }
        if (kind == '?') {
            if (restLength == 0) {
                return false;
            }
            size_t literalLength = segment.length - 1;
            if (restLength - 1 < literalLength ||
                std::memcmp(rest + 1, segment.data + 1, literalLength) != 0) {
                return false;
            }
            rest += 1 + literalLength;
            restLength -= 1 + literalLength;
        } else {
            if (restLength < segment.length ||
                std::memcmp(rest, segment.data, segment.length) != 0) {
                return false;
            }
            rest += segment.length;
            restLength -= segment.length;
        }
        if (last) {
            return restLength == 0;
        }
    }
    return true;
}

}  // namespace vfs
