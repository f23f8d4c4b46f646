// The game-archive check of `unpack` and `mount`: the dialog's check that
// an archive holds one of the game's known entries at its top level.
#pragma once

#include <string>

#include "app/unpack_dialog.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"

namespace tarnwad::cli {

// Whether the archive holds one of the game's known entries at its top
// level: the dialog's check.
inline bool HoldsKnownEntry(vfs::FileSystemRef& archive) {
    for (const char* name : kProbeNames) {
        vfs::FindData found;
        if (archive.FindFirst(name, &found).Succeeded()) {
            return true;
        }
    }
    return false;
}

// The check's failure, with what it looks for and the way around it for
// `command` ("unpack", "mount").
inline std::string ProbeFailure(const std::string& failure, const std::string& command) {
    std::string names;
    for (const char* name : kProbeNames) {
        names += (names.empty() ? "" : ", ") + std::string(name);
    }
    return failure + " (the check looks for one of " + names +
           " at its top level); add --no-probe to " + command + " it anyway";
}

}  // namespace tarnwad::cli
