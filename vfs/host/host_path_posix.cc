#include "vfs/host/host_path.h"

#include <cstring>

namespace vfs::host {

HostPath::HostPath(const char* path) {
    if (path == nullptr) {
        return;
    }
    size_t n = strnlen(path, sizeof(text));
    if (n >= sizeof(text)) {
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        text[i] = path[i] == '\\' ? '/' : path[i];
    }
    text[n] = '\0';
    valid = true;
}

bool HostReadsBackslashAsSeparator() {
    return false;
}

}  // namespace vfs::host
