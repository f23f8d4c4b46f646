#include "tools/exclude_filter.h"

namespace tarnwad::cli {

bool ExcludeFilter::Excludes(const std::string& relativePath) const {
    for (const PathPattern& pattern : excluded) {
        if (pattern.Matches(relativePath)) {
            return true;
        }
    }
    return false;
}

bool ExcludeFilter::ExcludesWithParents(const std::string& relativePath) const {
    for (const PathPattern& pattern : excluded) {
        if (pattern.Covers(relativePath)) {
            return true;
        }
    }
    return false;
}

bool ExcludeFilter::TakesDirectory(const char* relativeDirectory) const {
    return !Excludes(relativeDirectory) &&
           (next == nullptr || next->TakesDirectory(relativeDirectory));
}

bool ExcludeFilter::TakesFile(const char* relativePath) const {
    return !Excludes(relativePath) && (next == nullptr || next->TakesFile(relativePath));
}

}  // namespace tarnwad::cli
