// The two tree copies: in order, one file after another as the walk reaches
// it (the dialog's), and on several threads (ParallelTreeCopy). Both take
// the same settings and give the same report.
#pragma once

#include <functional>
#include <string>

#include "app/copy_report.h"
#include "app/entry_copy.h"
#include "app/entry_filter.h"
#include "vfs/core/file_system_ref.h"

namespace tarnwad {

struct TreeCopySettings {
    // The entries to take; null takes everything. Not owned.
    const EntryFilter* filter = nullptr;
    // What must be left in place (see CopyEntry).
    EntryCopyRules rules;
    // Shows a status text: the path of each file as its copy starts, and ""
    // when a directory's files are done. May be empty.
    std::function<void(const char*)> showStatus;
};

// Copies one directory of `source` (relative path, empty for the root,
// otherwise ending with "\"), with everything beneath it, into the same
// relative directory of `destination`, one file after another in the order
// of TreeWalk, each by CopyEntry (nothing is written through a link, and a
// file under an entry's name holds the entry's whole bytes). Skips what it
// cannot copy and goes on; returns the record of everything skipped or not
// copied in full.
CopyReport CopyTreeInOrder(vfs::FileSystemRef& source, vfs::FileSystemRef& destination,
                           const std::string& relativePath, const TreeCopySettings& settings);

}  // namespace tarnwad
