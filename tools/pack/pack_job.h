// PackJob: `tarnwad pack` from the paths given to the archive written, for
// every front end that packs (the tool, the Python module).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/exclude_filter.h"
#include "tools/pack/tree_reader.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/host/file_identity.h"

namespace tarnwad::pack {

// What to pack, where, and how.
struct PackRequest {
    std::string directory;      // the directory to pack, as the user gave it
    std::string output;         // the archive to write, as the user gave it
    std::string directoryPath;  // the same two as absolute host paths
    std::string outputPath;
    uint32_t version = 2;        // archive format version, 0 to 2
    std::string codec = "auto";  // "stored", "lz", "zlib" or "auto" (see PackOne)
    bool force = false;          // replace an existing archive of the output's name
    bool dereference = false;    // follow links that lead inside the directory
    bool skipSpecial = false;    // skip FIFOs, sockets, devices with a warning
    const cli::ExcludeFilter* exclusions = nullptr;  // not owned; may be null
    unsigned jobs = 1;                               // threads that read and code files
    // Write the archive to standard output (`output` is then "-"): made in
    // a temporary file in the host's temporary directory, copied out whole
    // once complete, then deleted.
    bool toStandardOutput = false;
};

// One thing the user is told: what it concerns (a path as given, or one
// shown as DisplayPath shows it) and why, a clause after it.
struct PackMessage {
    std::string subject;
    std::string text;
};

// How a pack ended.
struct PackOutcome {
    enum Status { kWritten, kFailed, kInterrupted } status = kWritten;
    // Why not, in the order to tell them; empty when written.
    std::vector<PackMessage> failures;
    uint64_t bytesPacked = 0;  // the files' bytes as read
    uint64_t archiveSize = 0;
};

class PackJob {
  public:
    explicit PackJob(PackRequest packRequest) : request(std::move(packRequest)) {}
    PackJob(const PackJob&) = delete;
    PackJob& operator=(const PackJob&) = delete;

    // Checks the paths, holds the directory and the output's directory open
    // and walks the tree. Why the pack cannot start, before anything is read
    // or written (a usage failure), or nothing when the walk ran: `files`,
    // `problems`, `warnings` and `emptyDirectories` then tell what it found.
    std::optional<PackMessage> Prepare();

    // After a Prepare that ran the walk and found no problems: reads and
    // codes the files on `request.jobs` threads and writes the archive
    // through a temporary file renamed when complete. `onFile`, when given,
    // is called on this thread before each file is added, in archive order.
    PackOutcome Write(const std::function<void(const PackFile&)>& onFile = {});

    const PackRequest request;
    std::vector<PackFile> files;                // in archive order
    std::vector<std::string> problems;          // "<path>: <reason>", each refuses the pack
    std::vector<std::string> warnings;          // "<path>: <reason>", each only skipped
    std::vector<std::string> emptyDirectories;  // not packed: archives hold only files

  private:
    // Walks the tree with `reader` into the lists above.
    std::optional<PackMessage> Walk(TreeReader& reader);

    vfs::FileSystemRef tree;
    vfs::FileSystemRef archiveDirectory;
    std::string outputName;
};

}  // namespace tarnwad::pack
