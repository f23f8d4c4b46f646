#include "vfs/host/host_directory.h"

#include "vfs/host/windows_api.h"

#include "vfs/host/host_path.h"

namespace vfs::host {

namespace {

// The attributes a program may set; the others (directory, reparse point,
// compression and the like) belong to the volume.
constexpr DWORD SETTABLE_ATTRIBUTES = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                      FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

uint32_t GetPathAttributes(const char* path) {
    HostPath hostPath(path);
    if (!hostPath.IsValid()) {
        return INVALID_ATTRIBUTES;
    }
    DWORD attributes = GetFileAttributesA(hostPath.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? INVALID_ATTRIBUTES : attributes;
}

bool SetPathAttributes(const char* path, uint32_t attributes) {
    HostPath hostPath(path);
    if (!hostPath.IsValid()) {
        return false;
    }
    DWORD current = GetFileAttributesA(hostPath.c_str());
    if (current == INVALID_FILE_ATTRIBUTES) {
        return false;
    }
    DWORD wanted = current;
    if ((attributes & ATTRIBUTE_READONLY) != 0) {
        wanted |= FILE_ATTRIBUTE_READONLY;
    } else {
        wanted &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    }
    if (wanted == current) {
        return true;
    }
    wanted &= SETTABLE_ATTRIBUTES;
    // No bit at all is written as the normal bit, which stands alone.
    return SetFileAttributesA(hostPath.c_str(), wanted != 0 ? wanted : FILE_ATTRIBUTE_NORMAL);
}

bool MakeDirectory(const char* path) {
    HostPath hostPath(path);
    return hostPath.IsValid() && CreateDirectoryA(hostPath.c_str(), nullptr);
}

bool RemoveEmptyDirectory(const char* path) {
    HostPath hostPath(path);
    return hostPath.IsValid() && RemoveDirectoryA(hostPath.c_str());
}

bool RemoveFile(const char* path) {
    // The host deletes no directory, nor a link to one, as a file.
    HostPath hostPath(path);
    return hostPath.IsValid() && DeleteFileA(hostPath.c_str());
}

bool MovePath(const char* from, const char* to) {
    // Without MOVEFILE_REPLACE_EXISTING the host refuses an existing target
    // by itself, in one step.
    HostPath hostFrom(from);
    HostPath hostTo(to);
    return hostFrom.IsValid() && hostTo.IsValid() && MoveFileA(hostFrom.c_str(), hostTo.c_str());
}

bool ReplacePath(const char* from, const char* to) {
    HostPath hostFrom(from);
    HostPath hostTo(to);
    if (!hostFrom.IsValid() || !hostTo.IsValid()) {
        return false;
    }
    DWORD target = GetFileAttributesA(hostTo.c_str());
    if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    return MoveFileExA(hostFrom.c_str(), hostTo.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace vfs::host
