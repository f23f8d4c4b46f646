#include "vfs/host/host_path.h"

#include <cstring>

namespace vfs::host {

// A host that reads "\" and "/" alike, as the library does, takes the text
// as it is; elsewhere each "\" becomes the host's "/".
HostPath::HostPath(const char* path) {
    if (path == nullptr) {
        return;
    }
    size_t n = strnlen(path, sizeof(text));
    if (n >= sizeof(text)) {
        return;
    }
    const bool keep = HostReadsBackslashAsSeparator();
    for (size_t i = 0; i < n; ++i) {
        text[i] = path[i] == '\\' && !keep ? '/' : path[i];
    }
    text[n] = '\0';
    valid = true;
}

}  // namespace vfs::host
