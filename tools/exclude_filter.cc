#include "tools/exclude_filter.h"

namespace tarnwad::cli {

namespace {

char Folded(char c) {
    if (c >= 'A' && c <= 'Z') {
        return static_cast<char>(c - 'A' + 'a');
    }
    return c == '/' ? '\\' : c;
}

}  // namespace

bool WildcardMatches(const std::string& pattern, const std::string& text) {
    // The classic two-pointer match: on a mismatch, the last "*" takes one
    // more character and the match resumes after it. Linear in practice and
    // never recursive, whatever the pattern.
    size_t p = 0;
    size_t t = 0;
    size_t star = std::string::npos;
    size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || Folded(pattern[p]) == Folded(text[t]))) {
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

bool ExcludeFilter::Excludes(std::string relativePath) const {
    while (!relativePath.empty() && (relativePath.back() == '\\' || relativePath.back() == '/')) {
        relativePath.pop_back();
    }
    const size_t cut = relativePath.find_last_of("\\/");
    const std::string name = cut == std::string::npos ? relativePath : relativePath.substr(cut + 1);
    for (const std::string& pattern : excluded) {
        if (WildcardMatches(pattern, relativePath) || WildcardMatches(pattern, name)) {
            return true;
        }
    }
    return false;
}

bool ExcludeFilter::ExcludesWithParents(const std::string& relativePath) const {
    if (excluded.empty()) {
        return false;
    }
    for (size_t end = relativePath.find_first_of("\\/"); end != std::string::npos;
         end = relativePath.find_first_of("\\/", end + 1)) {
        if (Excludes(relativePath.substr(0, end))) {
            return true;
        }
    }
    return Excludes(relativePath);
}

bool ExcludeFilter::TakesDirectory(const char* relativeDirectory) const {
    return !Excludes(relativeDirectory) &&
           (next == nullptr || next->TakesDirectory(relativeDirectory));
}

bool ExcludeFilter::TakesFile(const char* relativePath) const {
    return !Excludes(relativePath) && (next == nullptr || next->TakesFile(relativePath));
}

}  // namespace tarnwad::cli
