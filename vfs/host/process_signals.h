// How the process takes the host's signals about its own work.
#pragma once

namespace vfs::host {

// A write past the process's file-size limit then fails like a write to a
// full disk (the caller sees the short write and can clean up) instead of
// ending the process. Nothing to do on hosts without such a signal.
void IgnoreFileSizeLimitSignal();

// From the call on, an interrupt from the user or the system (SIGINT and
// SIGTERM on POSIX; Ctrl+C, Ctrl+Break and closing the console on Windows)
// no longer ends the process at once: it sets what InterruptRequested()
// reads, so that the work at hand can stop at a safe point and clean up. A
// second interrupt ends the process as the host would have.
void CatchInterrupts();

// Whether an interrupt has come since CatchInterrupts(). Any thread may ask.
bool InterruptRequested();

}  // namespace vfs::host
