// The walk of the directory `tarnwad pack` packs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/exclude_filter.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"
#include "vfs/host/file_identity.h"

namespace tarnwad::pack {

// One file found below the packed directory.
struct PackFile {
    std::string path;    // the archive path: "\" separated, as found on disk
    std::string source;  // where its bytes are read, relative to the packed
                         // directory: `path`, or what a followed link leads to
    uint64_t size = 0;   // as the walk found it; the bytes packed are what
                         // the file holds when it is read
};

// Why an archive cannot hold an entry at `path` ("\" separated), as a
// reader would refuse or never find it; nothing when it can.
std::optional<std::string> ArchivePathProblem(const std::string& path);

// Looks up the entry at `path` of `fs` by its exact name (a name holding
// "*" or "?" is not taken for a pattern). False when nothing has that name.
bool LookUpExactly(vfs::FileSystemRef& fs, const std::string& path, vfs::FindData* out);

// Walks the packed directory and collects the files, with every name the
// archive cannot hold safely. The directory is read only through `tree`, a
// held directory (FileSystemRef::OpenHeldDirectory): every listing, look
// and open resolves beneath it without following a link, so that a
// directory or file swapped for a link meanwhile makes the pack fail
// instead of reading outside. Symbolic links are never followed unless
// `dereference`: each is skipped with a warning. With `dereference`, a
// link is resolved on the host path, followed only when what it leads to
// lies inside the packed directory and is not a directory the walk is
// already in, and what it leads to is then read through `tree` by its path
// inside. The walk keeps its own stack, so that no depth of tree exhausts
// the thread's; directories whose paths an archive cannot hold are not
// entered.
class TreeReader {
  public:
    // `hostRoot`: the host path of the directory `tree` holds, where links
    // are resolved; `rootShown`: how the directory itself is named in a
    // problem.
    TreeReader(vfs::FileSystemRef& tree, std::string hostRoot, std::string rootShown,
               bool dereference);

    void Read();

    std::vector<PackFile> files;
    std::vector<std::string> problems;  // "<path>: <reason>", each refuses the pack
    std::vector<std::string> warnings;  // "<path>: <reason>", each only skipped
    std::vector<std::string> emptyDirectories;
    // Names left out of the walk altogether (not owned; may be null).
    const cli::ExcludeFilter* exclusions = nullptr;
    // Whether what cannot be packed (FIFOs, sockets, devices, links that
    // lead nowhere) is skipped with a warning instead of refusing the pack.
    bool skipSpecial = false;
    // The archive being replaced, when it exists: a file of this identity
    // (and this size, the quick test) is left out.
    std::optional<vfs::FileIdentity> skip;
    uint32_t skipSize = 0;

  private:
    struct Found {
        std::string name;
        uint32_t attributes;  // as the listing found them
        uint32_t size;
    };
    // A directory being read.
    struct Frame {
        std::string relative;  // its archive path, ending in "\" unless empty
        std::string source;    // its path in the packed directory, likewise
        bool throughLink;      // reached through a followed link
        std::vector<Found> entries;
        size_t next = 0;
    };

    // Lists the directory `source` into a new frame on the stack; records a
    // problem instead when it cannot be read.
    void Enter(const std::string& relative, const std::string& source, bool throughLink);
    // Packs, enters or refuses one entry of the innermost directory.
    void Visit(const Found& entry);
    // Where the link `shown` at `from` leads, relative to the packed
    // directory in the library's form ("\" separated), when it may be
    // followed; otherwise records why not.
    std::optional<std::string> FollowLink(const std::string& shown, const std::string& from);
    // Whether the directory at `source` (no trailing "\") is one of those
    // the walk is in. Every directory is read by its own path in the packed
    // directory, which no link is on (a followed link gives the canonical
    // path of what it leads to), so equal paths are the same directory.
    bool OnTheWalk(const std::string& source) const;

    vfs::FileSystemRef& tree;
    std::string host;
    std::string rootName;
    std::filesystem::path canonicalHost;
    bool dereference;
    // Kept off the stack: a record holds a whole path.
    std::unique_ptr<vfs::FindData> found = std::make_unique<vfs::FindData>();
    std::vector<Frame> stack;
    size_t linkedNames = 0;
    bool stopped = false;
};

}  // namespace tarnwad::pack
