// PathSelection: an entry filter made of chosen files and directories.
#pragma once

#include <set>
#include <string>

#include "app/entry_filter.h"

namespace tarnwad {

// Takes the files added one by one, everything beneath the directories
// added, and the directories on the way to either. Paths are compared byte
// for byte, so they must be given as the source reports them ("\"
// separated; an archive's in lower case).
class PathSelection : public EntryFilter {
  public:
    // Selects the file `path`.
    void AddFile(const std::string& path);
    // Selects the directory `path` (a trailing "\" is optional) with
    // everything beneath it; the empty path selects everything.
    void AddDirectory(const std::string& path);

    bool Empty() const { return files.empty() && trees.empty(); }

    bool TakesDirectory(const char* relativeDirectory) const override;
    bool TakesFile(const char* relativePath) const override;

  private:
    void AddAncestors(const std::string& path);
    // True when `path` lies beneath (or is) a selected directory.
    bool InSelectedTree(const std::string& path) const;

    std::set<std::string> files;
    std::set<std::string> trees;      // selected directories, each ending with "\"
    std::set<std::string> ancestors;  // directories above a selection, each ending with "\"
};

}  // namespace tarnwad
