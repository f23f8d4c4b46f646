// How `tarnwad pack` adds the system's reason to what it says of a failure.
#pragma once

#include <string>

#include "vfs/host/host_error.h"

namespace tarnwad::pack {

// ": <the host's reason for the calling thread's last failed call>", or
// nothing when the host gave none.
inline std::string HostReason() {
    const std::string why = vfs::host::LastErrorText();
    return why.empty() ? why : ": " + why;
}

}  // namespace tarnwad::pack
