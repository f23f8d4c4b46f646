#include "vfs/host/held_directory.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "vfs/host/host_directory.h"
#include "vfs/host/host_names.h"
#include "vfs/host/host_path.h"
#include "vfs/host/posix_attributes.h"

namespace vfs::host {

struct HeldDirectory::Node {
    Node(int fd, std::string path) : fd(fd), path(std::move(path)) {}
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node() { ::close(fd); }

    int fd;
    std::string path;
};

namespace {

// Set once the kernel turned openat2 down: older kernels lack it, and some
// sandboxes refuse it.
std::atomic<bool> noOpenat2{false};

// Opens the directory `relative` (components separated by "/", each checked
// already) beneath `base` in one call, never through a link: -1 with errno
// set when it fails, -2 when the kernel has no such call.
int OpenWhole(int base, const char* relative) {
    if (noOpenat2.load(std::memory_order_relaxed)) {
        return -2;
    }
    struct open_how how {};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    long fd;
    do {
        fd = syscall(SYS_openat2, base, relative, &how, sizeof(how));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && (errno == ENOSYS || errno == EPERM || errno == E2BIG)) {
        noOpenat2.store(true, std::memory_order_relaxed);
        return -2;
    }
    return static_cast<int>(fd);
}

// Opens the directory `name` of `directory` without following a link: -1
// with errno set (ELOOP for a link, ENOTDIR for anything else but a
// directory) when it fails.
int OpenComponent(int directory, const char* name) {
    int fd;
    do {
        fd = ::openat(directory, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ENOTDIR) {
            struct stat status;
            if (fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(status.st_mode)) {
                errno = ELOOP;
            }
        }
        return -1;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISDIR(status.st_mode)) {
        const int why = S_ISLNK(status.st_mode) ? ELOOP : ENOTDIR;
        ::close(fd);
        errno = why;
        return -1;
    }
    return fd;
}

bool UsableName(const char* name) {
    if (UnusableNameReason(name) != nullptr) {
        errno = EINVAL;
        return false;
    }
    return true;
}

}  // namespace

bool HeldDirectory::Open(const char* path) {
    node.reset();
    HostPath hostPath(path);
    if (!hostPath.IsValid()) {
        errno = ENAMETOOLONG;
        return false;
    }
    int fd;
    do {
        fd = ::open(hostPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    node = std::make_shared<const Node>(fd, path);
    return true;
}

bool HeldDirectory::OpenBeneath(const HeldDirectory& base, const char* relative) {
    if (!base.IsOpen() || relative == nullptr) {
        errno = EBADF;
        return false;
    }
    // The components, each checked: none may climb or stand for the
    // directory itself.
    std::string components;
    for (const char* at = relative; *at != '\0';) {
        const size_t length = std::strcspn(at, "\\/");
        const std::string name(at, length);
        at += length;
        if (*at != '\0') {
            ++at;
        }
        if (name.empty() && *at == '\0') {
            break;  // one separator at the end
        }
        if (!UsableName(name.c_str())) {
            return false;
        }
        components += (components.empty() ? "" : "/") + name;
    }
    const std::shared_ptr<const Node> start = base.node;
    std::string path = start->path;
    if (!components.empty()) {
        const char last = path.empty() ? '/' : path.back();
        path += (last == '/' || last == '\\' ? "" : "/") + components;
    }
    int fd;
    if (components.empty()) {
        fd = ::fcntl(start->fd, F_DUPFD_CLOEXEC, 0);
    } else if ((fd = OpenWhole(start->fd, components.c_str())) == -2) {
        // One component at a time, each opened from the one before.
        fd = ::fcntl(start->fd, F_DUPFD_CLOEXEC, 0);
        for (size_t begin = 0; fd >= 0 && begin < components.size();) {
            size_t end = components.find('/', begin);
            end = end == std::string::npos ? components.size() : end;
            const std::string name = components.substr(begin, end - begin);
            const int next = OpenComponent(fd, name.c_str());
            const int why = errno;
            ::close(fd);
            errno = why;
            fd = next;
            begin = end + 1;
        }
    }
    if (fd < 0) {
        return false;
    }
    node = std::make_shared<const Node>(fd, std::move(path));
    return true;
}

bool HeldDirectory::StaysInPlace() {
    return false;
}

const std::string& HeldDirectory::Path() const {
    static const std::string none;
    return node == nullptr ? none : node->path;
}

intptr_t HeldDirectory::NativeHandle() const {
    return node == nullptr ? -1 : node->fd;
}

uint32_t HeldDirectory::Attributes(const char* name) const {
    struct stat status;
    if (node == nullptr || !UsableName(name)) {
        return INVALID_ATTRIBUTES;
    }
    return EntryAttributes(node->fd, name, &status);
}

bool HeldDirectory::Identity(const char* name, vfs::FileIdentity* out) const {
    struct stat status;
    if (node == nullptr || !UsableName(name) ||
        fstatat(node->fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    *out = vfs::FileIdentity{static_cast<uint64_t>(status.st_dev),
                             static_cast<uint64_t>(status.st_ino)};
    return true;
}

bool HeldDirectory::MakeDirectory(const char* name) const {
    return node != nullptr && UsableName(name) && mkdirat(node->fd, name, 0777) == 0;
}

bool HeldDirectory::RemoveFile(const char* name) const {
    struct stat status;
    if (node == nullptr || !UsableName(name) ||
        fstatat(node->fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        return false;
    }
    return unlinkat(node->fd, name, 0) == 0;
}

bool HeldDirectory::Flush() const {
    if (node == nullptr) {
        return false;
    }
    // The held descriptor only locates the directory (O_PATH), and fsync
    // refuses such a descriptor: the directory is opened for reading to be
    // synced.
    int fd;
    do {
        fd = ::openat(node->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    const bool synced = fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = error;
    return synced;
}

bool HeldDirectory::RemoveEmptyDirectory(const char* name) const {
    return node != nullptr && UsableName(name) && unlinkat(node->fd, name, AT_REMOVEDIR) == 0;
}

bool HeldDirectory::SetAttributes(const char* name, uint32_t attributes) const {
    struct stat status;
    if (node == nullptr || !UsableName(name) ||
        fstatat(node->fd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    if (S_ISLNK(status.st_mode)) {
        errno = ELOOP;
        return false;
    }
    const mode_t mode = ModeWithReadOnly(status.st_mode, attributes);
    return mode == (status.st_mode & 07777) ||
           fchmodat(node->fd, name, mode, AT_SYMLINK_NOFOLLOW) == 0;
}

bool HeldDirectory::Rename(const HeldDirectory& fromDirectory, const char* from,
                           const HeldDirectory& toDirectory, const char* to, bool replace) {
    if (fromDirectory.node == nullptr || toDirectory.node == nullptr || !UsableName(from) ||
        !UsableName(to)) {
        return false;
    }
    const int fromFd = fromDirectory.node->fd;
    const int toFd = toDirectory.node->fd;
    struct stat status;
    if (replace) {
        // A directory in the way is never replaced, not even an empty one.
        if (fstatat(toFd, to, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode)) {
            errno = EISDIR;
            return false;
        }
        return renameat(fromFd, from, toFd, to) == 0;
    }
    if (renameat2(fromFd, from, toFd, to, RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // The volume cannot refuse to replace by itself: test first. Another
    // process may still slip a file in between the test and the rename.
    if (fstatat(toFd, to, &status, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
        return false;
    }
    if (errno != ENOENT) {
        return false;
    }
    return renameat(fromFd, from, toFd, to) == 0;
}

}  // namespace vfs::host
