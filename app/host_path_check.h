// Whether a host path that a user typed or chose can be handed to the
// library as it is.
#pragma once

#include <string>

#include "vfs/core/file_system_ref.h"
#include "vfs/core/result.h"
#include "vfs/wad/wad_file_system.h"

namespace tarnwad {

// The library reads "\" and "/" alike as separators, and "*\" (or "*/") as
// the separator between an archive file and a path inside it. On a host
// whose names may hold "\" or "*" (POSIX), a path holding them would lead the
// library to another file than the one meant. Gives why `path` cannot be
// used, in plain words, or an empty text when it can; `isArchive` when the
// path names an archive file, which is where the archive separator counts.
std::string UnusableHostPath(const std::string& path, bool isArchive);

// Why `path` cannot be opened as an archive file when it names a directory
// inside an archive (ARCHIVE*/DIR or ARCHIVE*\DIR: no file has the whole
// path, one has the part before the separator), which only mount and layers
// take; empty when it names none.
std::string InnerRootRefusal(const std::string& path);

// Opens the archive file at the host path `path`, as a user typed or chose
// it, into `archive`: the one way every front end opens an archive it is
// given, so that a path UnusableHostPath refuses never reaches the library.
// On failure `why` receives why, as a clause that reads after the archive's
// name ("cannot be opened: no such file", "is not a WAD archive: ..."): the
// same words for every front end.
vfs::Result OpenUserArchive(vfs::FileSystemRef& archive, const std::string& path, std::string* why);
// The same into a closed archive file system that the caller made, for a
// caller that reads the archive's tree and records as such (the catalog).
vfs::Result OpenUserArchive(vfs::WadFileSystem& archive, const std::string& path, std::string* why);

}  // namespace tarnwad
