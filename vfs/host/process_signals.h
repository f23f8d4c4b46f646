// How the process takes the host's signals about its own work.
#pragma once

namespace vfs::host {

// A write past the process's file-size limit then fails like a write to a
// full disk (the caller sees the short write and can clean up) instead of
// ending the process. Nothing to do on hosts without such a signal.
void IgnoreFileSizeLimitSignal();

}  // namespace vfs::host
