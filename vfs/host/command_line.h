// The process's command line, as the host gives it.
#pragma once

namespace vfs::host {

// The command line of the running process. Its first word is the path of the
// executable, in double quotes when the host quotes it. On POSIX hosts there
// is no command line as one string: the executable's path is read from the
// process table and given back in double quotes, so that callers parsing it
// find its directory the same way on every host. Valid for the life of the
// process; never null (empty when nothing can be found).
const char* GetCommandLine();

}  // namespace vfs::host
