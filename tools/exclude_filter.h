// ExcludeFilter: the --exclude patterns of the tool's commands.
#pragma once

#include <string>
#include <vector>

#include "app/entry_filter.h"
#include "tools/path_pattern.h"

namespace tarnwad::cli {

// Leaves out the entries that match any of its patterns (PathPattern), and
// whatever lies beneath a directory that matches; the rest goes to `inner`
// (when given) for its say. So "*.ogg" leaves out every .ogg file at any
// depth, "sounds" every directory named so, and "maps/level2" that one.
class ExcludeFilter : public EntryFilter {
  public:
    ExcludeFilter(const std::vector<std::string>& patterns, const EntryFilter* inner = nullptr)
        : excluded(patterns.begin(), patterns.end()), next(inner) {}

    bool Empty() const { return excluded.empty(); }
    // Whether the file or directory at `relativePath` ("\" or "/"
    // separated, a trailing separator ignored) is left out.
    bool Excludes(const std::string& relativePath) const;
    // Whether the file at `relativePath`, or a directory above it, is left
    // out: what a walk of the tree would leave out.
    bool ExcludesWithParents(const std::string& relativePath) const;

    bool TakesDirectory(const char* relativeDirectory) const override;
    bool TakesFile(const char* relativePath) const override;

  private:
    std::vector<PathPattern> excluded;
    const EntryFilter* next;
};

}  // namespace tarnwad::cli
