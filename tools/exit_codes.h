// The exit codes of the command-line tool.
#pragma once

namespace tarnwad::cli {

inline constexpr int kExitSuccess = 0;
// The archive was read, but some entries failed (each named on stderr).
inline constexpr int kExitEntriesFailed = 1;
// Usage errors, and archives that cannot be opened at all.
inline constexpr int kExitUsage = 2;
// An interrupt (Ctrl+C, SIGINT, SIGTERM, SIGHUP) stopped the work; what was
// finished is kept, nothing half-made is.
inline constexpr int kExitInterrupted = 130;
// The reader of the tool's output went away (a closed pipe): the work stopped
// as after an interrupt, quietly. 128 + SIGPIPE, what a shell shows for a
// program the closed pipe killed.
inline constexpr int kExitOutputClosed = 141;

}  // namespace tarnwad::cli
