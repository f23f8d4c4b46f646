// What `tarnwad conflicts` reports of a layered tree: the paths more than one
// layer supplies, or every path with every layer's version of it.
#pragma once

#include <string>
#include <vector>

#include "vfs/overlay/overlay_file_system.h"

namespace tarnwad::cli {

struct PathVersions {
    std::string path;                           // lower case, "\" separated
    std::vector<vfs::OverlayVersion> versions;  // lowest layer first, the winner last
};

// The conflicts of `overlay` (Conflicts(): paths more than one layer
// supplies) or, when `all`, every file and directory of the merged tree with
// the versions every layer has of it, in the order of a walk of the merged
// tree (each directory's names in the overlay's order, a directory's
// contents after it).
std::vector<PathVersions> CollectVersions(vfs::OverlayFileSystem& overlay, bool all);

}  // namespace tarnwad::cli
