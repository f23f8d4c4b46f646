// The game-archive check's failure as `unpack` and `mount` report it.
#pragma once

#include <string>

#include "app/game_archive_check.h"

namespace tarnwad::cli {

// The check's failure, with the way around it for `command` ("unpack",
// "mount").
inline std::string ProbeFailure(const std::string& command) {
    return NotAGameArchiveText() + "; add --no-probe to " + command + " it anyway";
}

}  // namespace tarnwad::cli
