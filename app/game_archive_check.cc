#include "app/game_archive_check.h"

#include "vfs/core/find_data.h"

namespace tarnwad {

bool HoldsKnownEntry(vfs::FileSystemRef& archive) {
    for (const char* name : kProbeNames) {
        vfs::FindData found;
        if (archive.FindFirst(name, &found).Succeeded()) {
            return true;
        }
    }
    return false;
}

std::string NotAGameArchiveText() {
    std::string names;
    for (const char* name : kProbeNames) {
        names += names.empty() ? "" : ", ";
        names += name;
    }
    return "is not a Tarnhollow archive: none of the game's known entries (" + names +
           ") is at its top level";
}

}  // namespace tarnwad
