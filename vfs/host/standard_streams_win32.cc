#include "vfs/host/standard_streams.h"

#include "vfs/host/windows_api.h"

#include <cstdio>
#include <cstdlib>
#include <string>

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

namespace vfs::host {

std::string StandardInputFilePath() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE || GetFileType(input) != FILE_TYPE_DISK) {
        return {};
    }
    char path[MAX_PATH + 8];
    const DWORD length = GetFinalPathNameByHandleA(input, path, sizeof(path),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= sizeof(path)) {
        return {};
    }
    std::string text(path, length);
    // "\\?\C:\..." opens as "C:\..."; a network path ("\\?\UNC\...") is left
    // to the spool.
    if (text.rfind("\\\\?\\UNC\\", 0) == 0) {
        return {};
    }
    if (text.rfind("\\\\?\\", 0) == 0) {
        text.erase(0, 4);
    }
    return text;
}

std::ptrdiff_t ReadStandardInput(void* buffer, size_t size) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD done = 0;
    const DWORD count = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    if (!ReadFile(input, buffer, count, &done, nullptr)) {
        // The writer of a pipe closed its end: the input ends there.
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<std::ptrdiff_t>(done);
}

// An open file's name cannot go while the library opens it again by name
// without sharing its deletion: the caller deletes it when done instead.
std::string HoldNamelessFile(const std::string&) {
    return {};
}

std::string TemporaryDirectoryPath() {
    char path[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof(path), path);
    if (length == 0 || length >= sizeof(path)) {
        return "C:\\Windows\\Temp\\";
    }
    std::string text(path, length);
    if (text.back() != '\\' && text.back() != '/') {
        text += '\\';
    }
    return text;
}

}  // namespace vfs::host
