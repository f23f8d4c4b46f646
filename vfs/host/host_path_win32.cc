#include "vfs/host/host_path.h"

namespace vfs::host {

bool HostReadsBackslashAsSeparator() {
    return true;
}

}  // namespace vfs::host
