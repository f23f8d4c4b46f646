#include "vfs/host/command_line.h"

#include "vfs/host/windows_api.h"
// <windows.h> maps GetCommandLine to GetCommandLineA; the name here is the
// library's own.
#undef GetCommandLine

namespace vfs::host {

const char* GetCommandLine() {
    const char* line = GetCommandLineA();
    return line != nullptr ? line : "";
}

}  // namespace vfs::host
