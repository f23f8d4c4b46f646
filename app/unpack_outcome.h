// UnpackOutcome: everything an unpack found out, for whoever reports it.
#pragma once

#include <string>
#include <vector>

#include "app/copy_report.h"
#include "vfs/wad/wad_rejected_record.h"

namespace tarnwad {

struct UnpackOutcome {
    bool succeeded = false;
    // Why the command stopped before or instead of copying, in plain words;
    // empty when the copy ran.
    std::string failure;
    // Why the archive did not open, as a clause after its name ("cannot be
    // opened: no such file"); empty when it opened. `failure` says so too.
    std::string archiveFailure;
    // When it is a layer over the archive that did not open: that layer, as
    // given (`archiveFailure` then tells why).
    std::string failedLayer;
    // The archive opened but holds none of the game's known entries at its
    // top level (`failure` says so too).
    bool notGameArchive = false;
    // The output directory could not be made because the host refused to
    // write in the archive's folder (no permission, a read-only file system).
    bool archiveFolderNotWritable = false;
    // The archive's full path as the archive file system names it, and the
    // output directory (once derived).
    std::string archivePath;
    std::string outputDirectory;
    // What the copy could not do, entries refused by the archive itself
    // excepted.
    CopyReport copy;
    // Records the archive loader left out of the tree (unsafe or unreadable
    // paths): their entries were never copied.
    std::vector<vfs::WadRejectedRecord> rejected;
    // A dry run's files that a real unpack would write, in the order it
    // would write them (paths relative to the output directory).
    std::vector<std::string> wouldWrite;
    // Entries the archive flags as not to be opened; skipping them is not a
    // failure.
    std::vector<std::string> refused;
};

}  // namespace tarnwad
