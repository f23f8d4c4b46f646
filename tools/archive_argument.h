// The ARCHIVE argument of the commands that read an archive: a host path, or
// "-" for standard input.
#pragma once

#include <string>

namespace tarnwad::cli {

// Whether `argument` stands for standard input.
inline bool IsStandardInput(const std::string& argument) {
    return argument == "-";
}

// The absolute host path to open the archive `argument` names at, or empty
// with `why` (a clause after the argument) when there is none. For "-" it is
// standard input's: a redirected file is read in place; anything else (a
// pipe) is copied whole into a temporary file in the host's temporary
// directory, deleted when the tool ends. A terminal is refused.
std::string ArchiveHostPath(const std::string& argument, std::string* why);

}  // namespace tarnwad::cli
