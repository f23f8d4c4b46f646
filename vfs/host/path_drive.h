// The drive part of a host path.
#pragma once

#include <cstddef>

namespace vfs::host {

// Number of leading characters of `path` that name a drive (a letter and ':'
// on hosts that have drives), 0 when there is none. POSIX hosts have no
// drives and always answer 0.
size_t GetDriveLength(const char* path);

}  // namespace vfs::host
