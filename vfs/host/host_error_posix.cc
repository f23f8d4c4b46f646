#include "vfs/host/host_error.h"

#include <cctype>
#include <cerrno>
#include <cstring>

namespace vfs::host {

void ClearLastError() {
    errno = 0;
}

HostErrorKind LastErrorKind() {
    switch (errno) {
        case 0:
            return HostErrorKind::NONE;
        case ENOENT:
        case ENOTDIR:
            return HostErrorKind::NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return HostErrorKind::ACCESS_DENIED;
        case EOPNOTSUPP:
            return HostErrorKind::UNSUPPORTED;
        default:
            return HostErrorKind::OTHER;
    }
}

std::string LastErrorText() {
    const int error = errno;
    if (error == 0) {
        return {};
    }
    // What the library's calls that never follow a link give when one is
    // where a directory or the file itself should be.
    if (error == ELOOP) {
        return "a symbolic link is in the way, and links are not followed";
    }
    std::string text = std::strerror(error);
    if (!text.empty()) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return text;
}

}  // namespace vfs::host
