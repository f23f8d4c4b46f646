// How the process takes the host's signals about its own work.
#pragma once

namespace vfs::host {

// A write past the process's file-size limit then fails like a write to a
// full disk (the caller sees the short write and can clean up) instead of
// ending the process. Nothing to do on hosts without such a signal.
void IgnoreFileSizeLimitSignal();

// From the call on, an interrupt from the user or the system (SIGINT,
// SIGTERM and SIGHUP, the hang-up of a closed terminal or ssh session, on
// POSIX; Ctrl+C, Ctrl+Break and closing the console on Windows) no longer
// ends the process at once: it sets what InterruptRequested() reads, so
// that the work at hand can stop at a safe point and clean up. A second
// SIGINT or SIGTERM (Ctrl+C) ends the process as the host would have; a
// hang-up never does, since a closing session may send it more than once.
// An interrupt the process was started ignoring (nohup) stays ignored.
void CatchInterrupts();

// From the call on, a write to a pipe or socket whose reader has gone
// (SIGPIPE on POSIX: `tarnwad unpack -v level.wad | head -1`) no longer ends
// the process: the write fails, and OutputClosed() and InterruptRequested()
// read true, so that the work stops at its next safe point, as after an
// interrupt, and cleans up. However often it comes, it never ends the
// process. Nothing to do on Windows, where such a write simply fails.
void CatchClosedOutput();

// Whether an interrupt has come since CatchInterrupts(), or output was
// closed since CatchClosedOutput(). Any thread may ask.
bool InterruptRequested();

// Whether a reader closed what the process writes to, since
// CatchClosedOutput(): nobody reads what it says any more. Any thread may
// ask.
bool OutputClosed();

}  // namespace vfs::host
