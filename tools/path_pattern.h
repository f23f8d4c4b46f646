// PathPattern: the one pattern dialect of the tool's commands, for the
// entries they select and the entries (or files) they leave out.
#pragma once

#include <string>
#include <vector>

namespace tarnwad::cli {

// A pattern over relative paths, "/" or "\" separated:
// - without a separator it matches a name at any depth ("*.ogg" is every
//   .ogg file, "sounds" every directory or file named so);
// - with one it is anchored at the root ("maps/*.txt" is the .txt files
//   directly in maps; a leading separator only anchors, "/readme.txt");
// - "*" stands for any run of characters and "?" for any one character,
//   both within one component; a component "**" stands for any number of
//   components, none included ("maps/**/layout.txt");
// - letters A-Z match either case.
// A trailing separator is ignored. The empty pattern matches nothing.
class PathPattern {
  public:
    explicit PathPattern(const std::string& pattern);

    // Whether the pattern matches the file or directory at `path` itself (a
    // trailing separator ignored).
    bool Matches(const std::string& path) const;
    // Whether it matches `path` or a directory above it: whether `path` is
    // what the pattern names or lies beneath it.
    bool Covers(const std::string& path) const;

  private:
    // The number of leading components of `path` the pattern matches in
    // full: for each count from 0 to the number of components, whether it
    // matches that many.
    std::vector<bool> MatchedPrefixes(const std::vector<std::string>& path) const;

    std::vector<std::string> components;  // "**" kept as a component of its own
};

}  // namespace tarnwad::cli
