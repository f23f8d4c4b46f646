// `tarnwad pack --base ORIGINAL`: an archive of a directory's tree built
// as an edit of the original, so that an unchanged tree gives the original
// byte for byte and a changed one differs only where it changed.
#pragma once

#include <string>
#include <vector>

#include "tools/edit/archive_edit.h"

namespace tarnwad::edit {

struct BaseRebuild {
    std::string base;  // as the user gave them
    std::string directory;
    std::string output;
    std::string codec = "auto";
    bool force = false;  // replace an existing output
};

// Copies the original to a temporary file beside the output, makes it hold
// the tree (keeping the original's version, header, record order, reserved
// bytes and the stored bytes of every unchanged entry, and the entries no
// unpack could have written), and renames it to the output. The reasons of
// failures, in order (nothing written); empty when written. `changes`
// receives what differs from the original.
std::vector<EditMessage> RebuildFromBase(const BaseRebuild& request,
                                         std::vector<EditChange>* changes,
                                         vfs::WadEditStats* stats);

}  // namespace tarnwad::edit
