// The process's standard input, output and error, when it was started
// without them.
#pragma once

#include <cstddef>
#include <string>

namespace vfs::host {

// Opens the null device in place of each of the standard input, output and
// error that the process was started without (closed by whoever started
// it), so that none of the files it opens later takes a stream's place: on
// POSIX the next file opened would become descriptor 0, 1 or 2, and what
// the program prints would be written into it. Call it first in main,
// before anything opens a file. Should the null device not open, the
// process ends at once (exit status 2) rather than go on that way.
void OpenMissingStandardStreams();

// A host path under which the regular file that standard input reads (a
// redirected file, `< level.wad`) can be opened again, to be read in place
// from its start; empty when standard input is no regular file (a pipe, a
// terminal, a device) or its path cannot be had.
std::string StandardInputFilePath();

// Reads up to `size` bytes of standard input as they are (Windows would
// otherwise drop "\r" before "\n" and stop at Ctrl+Z). The number read, 0 at
// its end, -1 when the read fails (the reason in the host's last error).
std::ptrdiff_t ReadStandardInput(void* buffer, size_t size);

// Opens the file at the host path `path` for reading, for as long as the
// process lives, and removes its name, so that the file goes away when the
// process ends, however it ends. Gives a host path under which the open
// file can be opened again; empty where the host cannot do that (Windows)
// or the file does not open, and the name is then left as it is.
std::string HoldNamelessFile(const std::string& path);

// The directory the host keeps temporary files in, as a library host path
// ending with a separator ($TMPDIR or /tmp on POSIX, GetTempPath on
// Windows).
std::string TemporaryDirectoryPath();

}  // namespace vfs::host
