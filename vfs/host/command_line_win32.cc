#include "vfs/host/command_line.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// <windows.h> maps GetCommandLine to GetCommandLineA; the name here is the
// library's own.
#undef GetCommandLine

namespace vfs::host {

const char* GetCommandLine() {
    const char* line = GetCommandLineA();
    return line != nullptr ? line : "";
}

}  // namespace vfs::host
