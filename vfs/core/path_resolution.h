// How host paths are made absolute, and the archive separator.
#pragma once

#include <cstdint>

#include "vfs/core/export.h"
#include "vfs/core/result.h"

namespace vfs {

// Splits the host path of an archive file from a path inside the archive.
inline constexpr char ARCHIVE_SEPARATOR[] = "*\\";

inline bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

// Writes the absolute form of the host path `path` into `buffer`:
//  - null: the base directory itself;
//  - a drive, ':' and a separator, or two leading separators: unchanged;
//  - one leading separator: the base directory's drive, then the path;
//  - anything else: the base directory, then the path.
// Fails (leaving an empty text) when the result does not fit in `size`
// bytes: a cut path would name a different file.
TARNVFS_API Result ResolvePath(char* buffer, uint32_t size, const char* path);

// The base directory against which relative host paths resolve, with its
// trailing separator: the directory of the running executable, unless the
// program chose another with SetBaseDirectory; an empty text when neither is
// known. The executable's directory is found at the first call (again at
// later calls while it comes out empty). The first call must not race with
// another.
TARNVFS_API const char* GetBaseDirectory();

// Makes relative host paths resolve against `directory` from now on, as a
// program that takes paths from its user wants (for example the current
// directory): every path the library is given then means what it means to
// the user. `directory` must be absolute (a drive and a separator, two
// leading separators, or on POSIX a leading "/"); a trailing separator is
// added when missing. Null goes back to the executable's directory. Fails,
// changing nothing, when `directory` is relative or longer than a host path.
// Not synchronised: call it before other threads open host paths.
TARNVFS_API Result SetBaseDirectory(const char* directory);

// The pure parse behind GetBaseDirectory: takes the program path from a
// command line (quoted: up to the closing quote; unquoted: up to the first
// space) and writes its directory, separator kept, into `out`. Considers at
// most outSize - 1 characters of the command line. Writes an empty text when
// the program path holds no separator.
TARNVFS_API void ParseProgramDirectory(const char* commandLine, char* out, uint32_t outSize);

}  // namespace vfs
