// An archive with layers stacked above it (mods: archives, directories inside
// archives, host folders), seen as one tree where later layers win.
#pragma once

#include <string>
#include <vector>

#include "vfs/core/file_system_ref.h"
#include "vfs/overlay/overlay_file_system.h"

namespace tarnwad {

// A layer that did not open: the path as the user gave it, and why, as a
// clause that reads after it ("cannot be opened: no such file or
// directory").
struct LayerFailure {
    std::string path;
    std::string why;
};

// Opens each of `layers` (host paths as the user gave them: archives,
// "a.wad*\dir", folders; made absolute against the current directory) and
// adds it above the layers `overlay` holds, in order. Fails at the first
// layer that does not open, with which one and why in `failure`.
vfs::Result AddUserLayers(vfs::OverlayFileSystem& overlay, const std::vector<std::string>& layers,
                          LayerFailure* failure);

// The absolute host path of the file or folder the layer `layer` (as the
// user gave it) opens: its part before an inner root.
std::string LayerHostPath(const std::string& layer);

// Opens the archive at the absolute host path `archivePath` as the tool
// opens archives (OpenUserArchive: same checks, same reasons) as layer 0,
// named `archiveName`, then each of `layers` above it (AddUserLayers). `out` receives the overlay
// and `overlay` (when given) points at it. Fails at the first layer that does not open, with which
// one and why in `failure`.
vfs::Result OpenLayeredArchive(vfs::FileSystemRef& out, const std::string& archivePath,
                               const std::string& archiveName,
                               const std::vector<std::string>& layers, LayerFailure* failure,
                               vfs::OverlayFileSystem** overlay = nullptr);

}  // namespace tarnwad
