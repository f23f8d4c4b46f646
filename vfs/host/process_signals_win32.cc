#include "vfs/host/process_signals.h"

namespace vfs::host {

// Windows has no signal for a write past a file-size limit: a write that
// cannot be made simply fails.
void IgnoreFileSizeLimitSignal() {}

}  // namespace vfs::host
