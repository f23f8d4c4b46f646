// The reason the host gave for the calling thread's last failed call.
#pragma once

#include <cstdint>
#include <string>

namespace vfs::host {

// What kind of failure the host's last error was, for callers that act on
// it.
enum class HostErrorKind : uint8_t {
    NONE,
    NOT_FOUND,      // no such file or directory on the way
    ACCESS_DENIED,  // the host refused the call to this user
    UNSUPPORTED,    // the host or its file system does not do this
    OTHER,
};

// The kind of the calling thread's last host error.
HostErrorKind LastErrorKind();

// Forgets the calling thread's last host error, so that what a failure
// leaves behind is its own reason.
void ClearLastError();

// The calling thread's last host error (errno on POSIX, GetLastError on
// Windows) in plain words, in lower case: "permission denied", "no space
// left on device". Empty when there is none. The library's results stay
// 0 and -1; this tells a person why.
std::string LastErrorText();

// ": " and LastErrorText(), to follow the words for what failed ("cannot
// be read: permission denied"); empty when the host gave no reason.
inline std::string LastErrorSuffix() {
    const std::string why = LastErrorText();
    return why.empty() ? why : ": " + why;
}

}  // namespace vfs::host
