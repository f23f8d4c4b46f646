// The reason the host gave for the calling thread's last failed call.
#pragma once

#include <string>

namespace vfs::host {

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
