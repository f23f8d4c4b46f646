// The process's standard input, output and error, when it was started
// without them.
#pragma once

namespace vfs::host {

// Opens the null device in place of each of the standard input, output and
// error that the process was started without (closed by whoever started
// it), so that none of the files it opens later takes a stream's place: on
// POSIX the next file opened would become descriptor 0, 1 or 2, and what
// the program prints would be written into it. Call it first in main,
// before anything opens a file. Should the null device not open, the
// process ends at once (exit status 2) rather than go on that way.
void OpenMissingStandardStreams();

}  // namespace vfs::host
