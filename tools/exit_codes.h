// The exit codes of the command-line tool.
#pragma once

namespace tarnwad::cli {

inline constexpr int kExitSuccess = 0;
// The archive was read, but some entries failed (each named on stderr).
inline constexpr int kExitEntriesFailed = 1;
// Usage errors, and archives that cannot be opened at all.
inline constexpr int kExitUsage = 2;

}  // namespace tarnwad::cli
