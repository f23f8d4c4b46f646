#include "vfs/host/standard_streams.h"

#include "vfs/host/windows_api.h"

#include <cstdio>
#include <cstdlib>

namespace vfs::host {

// The files the process opens are handles of their own, never the C
// runtime's descriptors 0 to 2; a missing stream is still given the null
// device, so that what is printed to it goes nowhere without failing.
void OpenMissingStandardStreams() {
    const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    std::FILE* const streams[] = {stdin, stdout, stderr};
    for (int i = 0; i < 3; ++i) {
        const HANDLE handle = GetStdHandle(ids[i]);
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            continue;
        }
        const HANDLE null =
            CreateFileA("NUL", i == 0 ? GENERIC_READ : GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (null == INVALID_HANDLE_VALUE) {
            std::_Exit(2);
        }
        SetStdHandle(ids[i], null);
        if (std::freopen("NUL", i == 0 ? "r" : "w", streams[i]) == nullptr) {
            std::_Exit(2);
        }
    }
}

}  // namespace vfs::host
