#include "vfs/host/process_signals.h"

#include "vfs/host/windows_api.h"

#include <atomic>

namespace vfs::host {

namespace {

std::atomic<bool> interrupted{false};

// Runs on a thread of its own that the console starts. TRUE keeps the
// process alive; FALSE passes the event on to the default handler, which
// ends it.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            return interrupted.exchange(true) ? FALSE : TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

// Windows has no signal for a write past a file-size limit: a write that
// cannot be made simply fails.
void IgnoreFileSizeLimitSignal() {}

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

// A write to a pipe whose reader has gone fails, and that is all.
void CatchClosedOutput() {}

bool InterruptRequested() {
    return interrupted.load(std::memory_order_relaxed);
}

bool OutputClosed() {
    return false;
}

}  // namespace vfs::host
