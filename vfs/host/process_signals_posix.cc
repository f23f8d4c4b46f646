#include "vfs/host/process_signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace vfs::host {

namespace {

std::atomic<bool> interrupted{false};
// A SIGINT or SIGTERM came: the next one ends the process.
std::atomic<bool> askedToStop{false};
std::atomic<bool> outputClosed{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnInterrupt(int signalNumber) {
    interrupted.store(true);
    if (signalNumber == SIGHUP) {
        return;
    }
    if (askedToStop.exchange(true)) {
        // The second one: end now, as the signal's default action would.
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
        _exit(128 + signalNumber);
    }
}

void OnClosedOutput(int) {
    outputClosed.store(true);
}

// Interrupted reads and writes start again; the work notices the flag
// between blocks.
void Catch(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

void CatchUnlessIgnored(int signalNumber, void (*handler)(int)) {
    struct sigaction current {};
    if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
        return;
    }
    Catch(signalNumber, handler);
}

}  // namespace

void IgnoreFileSizeLimitSignal() {
    signal(SIGXFSZ, SIG_IGN);
}

void CatchInterrupts() {
    CatchUnlessIgnored(SIGINT, OnInterrupt);
    CatchUnlessIgnored(SIGTERM, OnInterrupt);
    CatchUnlessIgnored(SIGHUP, OnInterrupt);
}

void CatchClosedOutput() {
    // Also when the process was started ignoring it: the write fails either
    // way, and the work should stop.
    Catch(SIGPIPE, OnClosedOutput);
}

bool InterruptRequested() {
    return interrupted.load(std::memory_order_relaxed) ||
           outputClosed.load(std::memory_order_relaxed);
}

bool OutputClosed() {
    return outputClosed.load(std::memory_order_relaxed);
}

}  // namespace vfs::host
