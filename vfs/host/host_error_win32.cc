#include "vfs/host/host_error.h"

#include "vfs/host/windows_api.h"

#include <cctype>

namespace vfs::host {

void ClearLastError() {
    SetLastError(ERROR_SUCCESS);
}

HostErrorKind LastErrorKind() {
    switch (GetLastError()) {
        case ERROR_SUCCESS:
            return HostErrorKind::NONE;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return HostErrorKind::NOT_FOUND;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return HostErrorKind::ACCESS_DENIED;
        case ERROR_NOT_SUPPORTED:
            return HostErrorKind::UNSUPPORTED;
        default:
            return HostErrorKind::OTHER;
    }
}

std::string LastErrorText() {
    const DWORD error = GetLastError();
    if (error == ERROR_SUCCESS) {
        return {};
    }
    // What the library's opens that never follow a link give when one is
    // where a directory or the file itself should be.
    if (error == ERROR_CANT_ACCESS_FILE) {
        return "a link (reparse point) is in the way, and links are not followed";
    }
    char buffer[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                  buffer, sizeof(buffer), nullptr);
    if (length == 0) {
        return "system error " + std::to_string(error);
    }
    std::string text(buffer, length);
    // The system's sentence, as words: no final stop or line end, lower case.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    if (!text.empty()) {
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    }
    return text;
}

}  // namespace vfs::host
