#include "vfs/host/command_line.h"

#include <unistd.h>

#include <climits>
#include <mutex>
#include <string>

namespace vfs::host {

const char* GetCommandLine() {
    static std::once_flag once;
    static std::string commandLine;
    std::call_once(once, [] {
        char buffer[PATH_MAX + 1];
        ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
        if (n <= 0) {
            return;
        }
        commandLine.reserve(static_cast<size_t>(n) + 2);
        commandLine.push_back('"');
        commandLine.append(buffer, static_cast<size_t>(n));
        commandLine.push_back('"');
    });
    return commandLine.c_str();
}

}  // namespace vfs::host
