#include "tools/conflicts/layer_versions.h"

#include <utility>

#include "vfs/core/find_data.h"

namespace tarnwad::cli {

namespace {

// Every path below `directory` ("" or ending with "\"), depth first. One
// enumeration at a time: a directory's names are taken in full before its
// subdirectories are walked.
void Walk(vfs::OverlayFileSystem& overlay, const std::string& directory,
          std::vector<PathVersions>& out) {
    std::vector<std::pair<std::string, bool>> names;
    vfs::FindData found;
    const std::string pattern = directory + "*";
    for (vfs::Result more = overlay.FindFirst(pattern.c_str(), &found); more.Succeeded();
         more = overlay.FindNext(&found)) {
        names.emplace_back(found.name, (found.attributes & vfs::FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    for (const auto& [name, isDirectory] : names) {
        const std::string path = directory + name;
        out.push_back({path, overlay.Versions(path.c_str())});
        if (isDirectory) {
            Walk(overlay, path + "\\", out);
        }
    }
}

}  // namespace

std::vector<PathVersions> CollectVersions(vfs::OverlayFileSystem& overlay, bool all) {
    std::vector<PathVersions> out;
    if (all) {
        Walk(overlay, "", out);
        return out;
    }
    for (vfs::OverlayConflict& conflict : overlay.Conflicts()) {
        out.push_back({std::move(conflict.path), std::move(conflict.versions)});
    }
    return out;
}

}  // namespace tarnwad::cli
