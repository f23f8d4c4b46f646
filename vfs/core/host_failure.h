// The library's reason for a failed host call, from what the host said.
#pragma once

#include "vfs/core/result.h"

namespace vfs {

// Sets the calling thread's reason (LastError) to `what` ("cannot be
// opened", "cannot be created") and the host's own words for its last
// error, with the kind that goes with them (NOT_FOUND, ACCESS_DENIED,
// UNSUPPORTED or HOST_ERROR), and fails. Call it right after the host call that failed.
Result FailWithHostReason(const char* what);

// Sets the reason for a host path that does not fit once made absolute.
Result FailWithPathTooLong();

}  // namespace vfs
