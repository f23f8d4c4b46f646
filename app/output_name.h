// The name of the directory an archive unpacks into by default.
#pragma once

#include <string>

namespace tarnwad {

// The default output directory of the archive whose file name is
// `fileName` (the text after its path's last separator; the "*" that ends an
// archive file system's full path may follow): the name up to its last ".",
// beside the archive. Empty, with the reason in `*why`, when that gives no
// name of a new directory: no "." or nothing before it, or a name the host
// would not take as a directory of its own ("." and "..", which name the
// archive's own folder and the one above; on Windows a name ending in a dot
// or a space).
std::string OutputDirectoryName(const std::string& fileName, std::string* why);

}  // namespace tarnwad
