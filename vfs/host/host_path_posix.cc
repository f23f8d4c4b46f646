#include "vfs/host/host_path.h"

namespace vfs::host {

bool HostReadsBackslashAsSeparator() {
    return false;
}

}  // namespace vfs::host
