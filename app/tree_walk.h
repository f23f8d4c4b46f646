// TreeWalk: the order and the checks of the tree copy, shared by the
// in-order copy of the dialog and the threaded copy of the command-line tool,
// so that both create the same directories, copy the same files and report
// the same failures in the same order.
#pragma once

#include <cstdint>
#include <string>

#include "app/copy_report.h"
#include "app/entry_filter.h"
#include "vfs/core/file_system_ref.h"

namespace tarnwad {

// Pattern that lists a whole directory.
inline constexpr char kListingPattern[] = "*.*";

// The text of the warning given for a file the walk does not copy because
// an earlier entry of the same directory has its name (an archive may hold
// several records of one path; every lookup serves the first).
inline constexpr char kHiddenEntryWarning[] = "hidden by an earlier entry of the same path";

// Walks one directory of `source` with everything beneath it: at each level
// the subdirectories first, each found or created in `destination` and then
// walked completely (depth first, in the order the source lists them), then
// the level's own files, which it hands to the visitor to copy. The walk
// keeps its own stack of levels, so a deep tree costs memory, never the
// thread's stack.
//
// A directory is entered only when `destination` has a real directory of
// that name, or one could be created (or another process created it at the
// same moment): a symbolic link, a file or anything else in its place is a
// failure, so that nothing is ever written through a link. When a directory
// fails, everything beneath it is reported as skipped and the rest of its
// level goes on. Names that the host would not take literally, and, where
// the host takes names of different bytes for one entry, names it would
// take for an earlier name of the same level, are failures too. An interrupt
// (vfs::host::InterruptRequested) ends the walk before its next directory.
class TreeWalk {
  public:
    // What the walk hands on, in the order of the copy. Paths are relative to
    // the copy's roots, "\" separated; a directory's path ends with "\".
    class Visitor {
      public:
        virtual ~Visitor() = default;
        // A file to copy to the same relative path, whose directory now
        // exists in the destination; `size` is the size the source reports.
        virtual void CopyFile(const std::string& path, uint32_t size) = 0;
        virtual void Fail(const std::string& path, CopyFailureKind kind, std::string detail) = 0;
        virtual void Warn(const std::string& path, std::string text) = 0;
        // Every file of a directory has been handed on.
        virtual void DirectoryDone() {}
    };

    // `filter` may be null (everything is taken); nothing is owned.
    TreeWalk(vfs::FileSystemRef& source, vfs::FileSystemRef& destination, const EntryFilter* filter,
             Visitor& visitor)
        : source(source), destination(destination), filter(filter), visitor(visitor) {}

    // Walks from `relativePath` (empty for the root, otherwise ending with
    // "\"). Returns the number of directories it created.
    uint32_t Run(const std::string& relativePath);

  private:
    struct Level;

    // The subdirectories of `relativePath` that the copy takes, in the
    // source's order; unsafe names are reported.
    Level ReadLevel(const std::string& relativePath);
    // Finds or creates the directory `path` in the destination; false, with
    // the failure reported, when it is not there as a real directory.
    bool EnsureDirectory(const std::string& path, bool* created);
    void HandFiles(Level& level);
    // Where the host takes names of different bytes for one entry: false,
    // with the failure reported, when an earlier name of `level` already has
    // this one's key; true otherwise (and always on other hosts).
    bool ClaimHostName(Level& level, const std::string& path, const char* name, bool isDirectory);
    // Reports everything the copy would take from beneath the directory
    // `relativeDirectory` as skipped.
    void SkipTree(const std::string& relativeDirectory, const std::string& because);
    bool Takes(const std::string& path, bool isDirectory) const;

    vfs::FileSystemRef& source;
    vfs::FileSystemRef& destination;
    const EntryFilter* filter;
    Visitor& visitor;
};

// Plain words for what a FindData's attributes say stands in a path's place,
// when it is not what the copy can use: "a symbolic link", "a directory", "a
// FIFO, device or socket", "a file".
std::string DescribeObstacle(uint32_t attributes);

}  // namespace tarnwad
