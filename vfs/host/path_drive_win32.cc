#include "vfs/host/path_drive.h"

#include <stdlib.h>

#include <cstring>

namespace vfs::host {

size_t GetDriveLength(const char* path) {
    if (path == nullptr) {
        return 0;
    }
    // Only the drive is asked for: no directory, name or extension buffer is
    // given, so no length of the rest of the path can overflow anything.
    char drive[_MAX_DRIVE] = {};
    _splitpath(path, drive, nullptr, nullptr, nullptr);
    return std::strlen(drive);
}

}  // namespace vfs::host
