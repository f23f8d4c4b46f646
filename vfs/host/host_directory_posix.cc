#include "vfs/host/host_directory.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "vfs/host/host_path.h"
#include "vfs/host/posix_attributes.h"

namespace vfs::host {

uint32_t GetPathAttributes(const char* path) {
    HostPath hostPath(path);
    struct stat status;
    if (!hostPath.IsValid()) {
        return INVALID_ATTRIBUTES;
    }
    return EntryAttributes(AT_FDCWD, hostPath.c_str(), &status);
}

bool SetPathAttributes(const char* path, uint32_t attributes) {
    HostPath hostPath(path);
    struct stat status;
    if (!hostPath.IsValid() || stat(hostPath.c_str(), &status) != 0) {
        return false;
    }
    const mode_t mode = ModeWithReadOnly(status.st_mode, attributes);
    return mode == (status.st_mode & 07777) || chmod(hostPath.c_str(), mode) == 0;
}

bool MakeDirectory(const char* path) {
    HostPath hostPath(path);
    return hostPath.IsValid() && mkdir(hostPath.c_str(), 0777) == 0;
}

bool RemoveEmptyDirectory(const char* path) {
    HostPath hostPath(path);
    return hostPath.IsValid() && rmdir(hostPath.c_str()) == 0;
}

bool RemoveFile(const char* path) {
    HostPath hostPath(path);
    struct stat status;
    // unlink would also take away a symbolic link to a directory; a file
    // deletion deletes files only.
    if (!hostPath.IsValid()) {
        return false;
    }
    if (stat(hostPath.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return false;
    }
    return unlink(hostPath.c_str()) == 0;
}

bool MovePath(const char* from, const char* to) {
    HostPath hostFrom(from);
    HostPath hostTo(to);
    if (!hostFrom.IsValid() || !hostTo.IsValid()) {
        return false;
    }
    if (renameat2(AT_FDCWD, hostFrom.c_str(), AT_FDCWD, hostTo.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // The volume cannot refuse to replace by itself: test first. Another
    // process may still slip a file in between the test and the rename.
    struct stat status;
    if (lstat(hostTo.c_str(), &status) == 0 || errno != ENOENT) {
        return false;
    }
    return rename(hostFrom.c_str(), hostTo.c_str()) == 0;
}

bool ReplacePath(const char* from, const char* to) {
    HostPath hostFrom(from);
    HostPath hostTo(to);
    return hostFrom.IsValid() && hostTo.IsValid() && rename(hostFrom.c_str(), hostTo.c_str()) == 0;
}

}  // namespace vfs::host
