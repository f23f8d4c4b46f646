#include "vfs/host/process_signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace vfs::host {

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnInterrupt(int signalNumber) {
    if (interrupted.exchange(true)) {
        // The second one: end now, as the signal's default action would.
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
        _exit(128 + signalNumber);
    }
}

}  // namespace

void IgnoreFileSizeLimitSignal() {
    signal(SIGXFSZ, SIG_IGN);
}

void CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Interrupted reads and writes start again; the work notices the flag
    // between blocks.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() {
    return interrupted.load(std::memory_order_relaxed);
}

}  // namespace vfs::host
