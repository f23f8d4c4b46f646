// The ARCHIVE argument of the commands that read an archive: a host path, or
// "-" for standard input.
#pragma once

#include <string>
#include <vector>

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

class ArchiveCatalog;

// Opens the archive `argument` names (ArchiveHostPath), with `layers` above
// it when there are any, into `catalog`. False, with why said on stderr
// (naming the archive or the layer that failed), when it cannot be.
bool OpenArchiveArgument(ArchiveCatalog& catalog, const std::string& argument,
                         const std::vector<std::string>& layers);

}  // namespace tarnwad::cli
