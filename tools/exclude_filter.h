// ExcludeFilter: the --exclude patterns of the tool's commands.
#pragma once

#include <string>
#include <vector>

#include "app/entry_filter.h"

namespace tarnwad::cli {

// Whether `text` matches the wildcard `pattern` as a whole: "*" stands for
// any run of characters, separators included, "?" for any one character;
// letters A-Z match either case, and "/" and "\" match each other.
bool WildcardMatches(const std::string& pattern, const std::string& text);

// Leaves out the entries that match any of its patterns, and whatever lies
// beneath a directory that matches; the rest goes to `inner` (when given)
// for its say. A pattern matches an entry when it matches its whole
// relative path or its name alone, so "*.ogg" leaves out every .ogg file at
// any depth and "sounds" every directory named so.
class ExcludeFilter : public EntryFilter {
  public:
    ExcludeFilter(std::vector<std::string> patterns, const EntryFilter* inner = nullptr)
        : excluded(std::move(patterns)), next(inner) {}

    bool Empty() const { return excluded.empty(); }
    // Whether the file or directory at `relativePath` ("\" or "/"
    // separated, a trailing separator ignored) is left out.
    bool Excludes(std::string relativePath) const;
    // Whether the file at `relativePath`, or a directory above it, is left
    // out: what a walk of the tree would leave out.
    bool ExcludesWithParents(const std::string& relativePath) const;

    bool TakesDirectory(const char* relativeDirectory) const override;
    bool TakesFile(const char* relativePath) const override;

  private:
    std::vector<std::string> excluded;
    const EntryFilter* next;
};

}  // namespace tarnwad::cli
