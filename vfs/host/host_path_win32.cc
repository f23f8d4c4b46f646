#include "vfs/host/host_path.h"

#include <cstring>

namespace vfs::host {

// Windows reads '\' and '/' alike, as the library does: the text is kept as
// it is.
HostPath::HostPath(const char* path) {
    if (path == nullptr) {
        return;
    }
    size_t n = strnlen(path, sizeof(text));
    if (n >= sizeof(text)) {
        return;
    }
    std::memcpy(text, path, n);
    text[n] = '\0';
    valid = true;
}

bool HostReadsBackslashAsSeparator() {
    return true;
}

}  // namespace vfs::host
