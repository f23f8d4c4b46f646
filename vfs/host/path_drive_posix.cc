#include "vfs/host/path_drive.h"

namespace vfs::host {

size_t GetDriveLength(const char* /*path*/) {
    return 0;
}

}  // namespace vfs::host
