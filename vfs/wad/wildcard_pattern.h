// WildcardPattern: the "*" and "?" patterns that archive enumerations match
// names with.
#pragma once

#include <vector>

#include "vfs/core/export.h"
#include "vfs/core/result.h"
#include "vfs/core/vfs_string.h"

namespace vfs {

// A pattern compiled into segments. The first segment may be a plain literal;
// every other segment is a wildcard character ("*" or "?") followed by the
// literal characters up to the next wildcard. Matching is byte-wise and
// greedy: a "*" segment takes the first occurrence of its literal and never
// gives it up, and a final "*" segment accepts whatever follows.
class TARNVFS_API WildcardPattern {
  public:
    // Replaces the segments with those of `text`. After every "*" but the
    // text's first wildcard, directly following "*" and "?" are dropped.
    // Always 0.
    Result Compile(const char* text);
    // True when the NUL-terminated `name` passes the pattern; a pattern
    // without segments passes every name.
    bool Match(const char* name) const;

    const std::vector<VfsString>& Segments() const { return segments; }

  private:
    std::vector<VfsString> segments;
};

}  // namespace vfs
