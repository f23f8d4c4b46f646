// The game-archive check: whether an archive is one of the game's, told by
// the entries every game archive holds at its top level.
#pragma once

#include <string>

#include "vfs/core/file_system_ref.h"

namespace tarnwad {

// Entries of which every game archive holds at least one at its top level,
// tried in this order.
inline constexpr const char* kProbeNames[] = {"groundtile.png", "check_mark.png", "4fx_rays.msh",
                                              "unitglyphs.spr", "intro_flight1.CSQ"};

// Whether `archive` holds one of kProbeNames at its top level.
bool HoldsKnownEntry(vfs::FileSystemRef& archive);

// The check's failure, as a clause that reads after the archive's name:
// "is not a Tarnhollow archive: none of the game's known entries
// (groundtile.png, ...) is at its top level".
std::string NotAGameArchiveText();

}  // namespace tarnwad
