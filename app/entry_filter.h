// EntryFilter: which entries a tree copy takes.
#pragma once

namespace tarnwad {

// Asked by the tree copy before it enters a directory or copies a file.
// Paths are relative to the copy's roots, "\" separated, exactly as the
// source file system reports them; a directory's path ends with "\". A
// directory that is not taken is neither created nor entered.
class EntryFilter {
  public:
    virtual ~EntryFilter() = default;

    virtual bool TakesDirectory(const char* relativeDirectory) const = 0;
    virtual bool TakesFile(const char* relativePath) const = 0;
};

}  // namespace tarnwad
