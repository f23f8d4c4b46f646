// Whether a host path that a user typed or chose can be handed to the
// library as it is.
#pragma once

#include <string>

namespace tarnwad {

// The library reads "\" and "/" alike as separators, and "*\" (or "*/") as
// the separator between an archive file and a path inside it. On a host
// whose names may hold "\" or "*" (POSIX), a path holding them would lead the
// library to another file than the one meant. Gives why `path` cannot be
// used, in plain words, or an empty text when it can; `isArchive` when the
// path names an archive file, which is where the archive separator counts.
std::string UnusableHostPath(const std::string& path, bool isArchive);

}  // namespace tarnwad
