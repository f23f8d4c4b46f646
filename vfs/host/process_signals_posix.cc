#include "vfs/host/process_signals.h"

#include <signal.h>

namespace vfs::host {

void IgnoreFileSizeLimitSignal() {
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace vfs::host
