#include "tools/path_pattern.h"

#include <cstddef>

namespace tarnwad::cli {

namespace {

const char kAnyDepth[] = "**";

char Folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The non-empty components of `path`, split at "/" and "\".
std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

// Whether the component `name` matches the wildcard component `pattern` as
// a whole. The classic two-pointer match: on a mismatch, the last "*" takes
// one more character and the match resumes after it. Linear in practice and
// never recursive, whatever the pattern.
bool ComponentMatches(const std::string& pattern, const std::string& name) {
    size_t p = 0;
    size_t t = 0;
    size_t star = std::string::npos;
    size_t resume = 0;
    while (t < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || Folded(pattern[p]) == Folded(name[t]))) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

PathPattern::PathPattern(const std::string& pattern) : components(Components(pattern)) {
    const bool anchored = pattern.find_first_of("\\/") < pattern.find_last_not_of("\\/") ||
                          (!pattern.empty() && (pattern[0] == '/' || pattern[0] == '\\'));
    if (!components.empty() && !anchored) {
        components.insert(components.begin(), kAnyDepth);
    }
}

std::vector<bool> PathPattern::MatchedPrefixes(const std::vector<std::string>& path) const {
    // reached[p][t]: the first p pattern components match the first t path
    // components. Every step moves forward in one or both, so one pass in
    // order fills the table; its size bounds the work, whatever the "**".
    const size_t rows = components.size() + 1;
    const size_t columns = path.size() + 1;
    std::vector<bool> reached(rows * columns, false);
    reached[0] = true;
    for (size_t p = 0; p < components.size(); ++p) {
        const bool anyDepth = components[p] == kAnyDepth;
        for (size_t t = 0; t < columns; ++t) {
            if (!reached[p * columns + t]) {
                continue;
            }
            if (anyDepth) {
                reached[(p + 1) * columns + t] = true;
                if (t < path.size()) {
                    reached[p * columns + t + 1] = true;
                }
            } else if (t < path.size() && ComponentMatches(components[p], path[t])) {
                reached[(p + 1) * columns + t + 1] = true;
            }
        }
    }
    return std::vector<bool>(reached.end() - static_cast<std::ptrdiff_t>(columns), reached.end());
}

bool PathPattern::Matches(const std::string& path) const {
    const std::vector<std::string> parts = Components(path);
    return !components.empty() && !parts.empty() && MatchedPrefixes(parts).back();
}

bool PathPattern::Covers(const std::string& path) const {
    const std::vector<std::string> parts = Components(path);
    if (components.empty()) {
        return false;
    }
    const std::vector<bool> prefixes = MatchedPrefixes(parts);
    for (size_t count = 1; count < prefixes.size(); ++count) {
        if (prefixes[count]) {
            return true;
        }
    }
    return false;
}

}  // namespace tarnwad::cli
