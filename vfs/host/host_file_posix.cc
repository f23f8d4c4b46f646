#include "vfs/host/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>
#include <vector>

#include "vfs/host/held_directory.h"
#include "vfs/host/host_names.h"
#include "vfs/host/host_path.h"

namespace vfs::host {

namespace {

// POSIX has no share modes, so the opens of this process keep a table of
// their own and check each other as the share rules say.
struct ShareEntry {
    dev_t device;
    ino_t inode;
    const File* owner;
    uint32_t access;
    uint32_t share;
};

std::mutex shareMutex;
std::vector<ShareEntry> shareTable;

// Which share bit another open must grant for each access bit.
uint32_t SharesNeededFor(uint32_t access) {
    uint32_t needed = 0;
    if ((access & ACCESS_READ) != 0) {
        needed |= SHARE_READ;
    }
    if ((access & ACCESS_WRITE) != 0) {
        needed |= SHARE_WRITE;
    }
    return needed;
}

bool Compatible(const ShareEntry& earlier, uint32_t access, uint32_t share) {
    return (SharesNeededFor(access) & ~earlier.share) == 0 &&
           (SharesNeededFor(earlier.access) & ~share) == 0;
}

// Registers an open unless it conflicts with one already in the table.
bool RegisterShare(const ShareEntry& entry) {
    std::lock_guard<std::mutex> guard(shareMutex);
    for (const ShareEntry& other : shareTable) {
        if (other.device == entry.device && other.inode == entry.inode &&
            !Compatible(other, entry.access, entry.share)) {
            return false;
        }
    }
    shareTable.push_back(entry);
    return true;
}

void UnregisterShare(const File* owner) {
    std::lock_guard<std::mutex> guard(shareMutex);
    shareTable.erase(std::remove_if(shareTable.begin(), shareTable.end(),
                                    [owner](const ShareEntry& e) { return e.owner == owner; }),
                     shareTable.end());
}

int OpenFlagsFor(uint32_t access, Disposition disposition) {
    // Emptying an existing file needs write access on POSIX even when the
    // caller asked only to read it.
    bool read = (access & ACCESS_READ) != 0;
    bool write = (access & ACCESS_WRITE) != 0 || disposition == Disposition::CreateAlways;
    // Without O_NONBLOCK, opening a FIFO waits for the other end; with it the
    // open returns at once and the type check below refuses the FIFO. The
    // flag changes nothing for the regular files that are kept.
    int flags = O_CLOEXEC | O_NONBLOCK;
    if (read && write) {
        flags |= O_RDWR;
    } else if (write) {
        flags |= O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }
    switch (disposition) {
        case Disposition::CreateNew:
            flags |= O_CREAT | O_EXCL;
            break;
        case Disposition::CreateAlways:
        case Disposition::OpenAlways:
            flags |= O_CREAT;
            break;
        case Disposition::OpenExisting:
            break;
    }
    return flags;
}

// Reads until `count` bytes are in `buffer` or the file ends, calling
// `readSome(at, most, doneSoFar)` (a read(2)-like call) again after an
// interrupted one. False when a call fails.
template <class ReadSome>
bool ReadFully(void* buffer, uint32_t count, uint32_t* done, ReadSome readSome) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (*done < count) {
        const ssize_t n = readSome(bytes + *done, count - *done, *done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            break;
        }
        *done += static_cast<uint32_t>(n);
    }
    return true;
}

}  // namespace

File::~File() {
    Close();
}

bool File::Open(const char* path, uint32_t desiredAccess, uint32_t share, Disposition disposition) {
    Close();
    HostPath hostPath(path);
    if (!hostPath.IsValid()) {
        return false;
    }
    return OpenHost(AT_FDCWD, hostPath.c_str(), desiredAccess, share, disposition, false);
}

bool File::OpenIn(const HeldDirectory& directory, const char* name, uint32_t desiredAccess,
                  uint32_t share, Disposition disposition) {
    Close();
    if (!directory.IsOpen() || UnusableNameReason(name) != nullptr) {
        errno = EINVAL;
        return false;
    }
    return OpenHost(directory.NativeHandle(), name, desiredAccess, share, disposition, true);
}

bool File::CreateUnnamedIn(const HeldDirectory& directory, const char* /*provisional*/) {
    Close();
    if (!directory.IsOpen()) {
        errno = EINVAL;
        return false;
    }
#ifdef O_TMPFILE
    // Without /proc, naming the file could need a capability the process
    // lacks; then none is made, and the caller writes under a name instead.
    static const bool nameable = ::access("/proc/self/fd", X_OK) == 0;
    if (!nameable) {
        errno = EOPNOTSUPP;
        return false;
    }
    int fd;
    do {
        fd = ::openat(static_cast<int>(directory.NativeHandle()), ".",
                      O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // A file system without such files refuses them in one of these
        // ways (a kernel that predates them opens the directory: EISDIR).
        if (errno == EISDIR || errno == EINVAL || errno == ENOTSUP) {
            errno = EOPNOTSUPP;
        }
        return false;
    }
    handle = fd;
    access = ACCESS_READ | ACCESS_WRITE;
    return true;
#else
    errno = EOPNOTSUPP;
    return false;
#endif
}

bool File::LinkIn(const HeldDirectory& directory, const char* name) {
    if (!IsOpen() || !directory.IsOpen() || UnusableNameReason(name) != nullptr) {
        errno = EINVAL;
        return false;
    }
#ifdef AT_EMPTY_PATH
    // Naming a file by its descriptor needs a capability on older kernels
    // (ENOENT without it); its entry in /proc does the same without one.
    // Whichever worked first is used from then on.
    enum Way { kUnknown, kByDescriptor, kThroughProc };
    static std::atomic<int> way{kUnknown};
    const int fd = static_cast<int>(handle);
    const int at = static_cast<int>(directory.NativeHandle());
    if (way.load(std::memory_order_relaxed) != kThroughProc) {
        if (::linkat(fd, "", at, name, AT_EMPTY_PATH) == 0) {
            way.store(kByDescriptor, std::memory_order_relaxed);
            return true;
        }
        if (errno != ENOENT || way.load(std::memory_order_relaxed) == kByDescriptor) {
            return false;
        }
    }
    char proc[32];
    std::snprintf(proc, sizeof(proc), "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, proc, at, name, AT_SYMLINK_FOLLOW) != 0) {
        return false;
    }
    way.store(kThroughProc, std::memory_order_relaxed);
    return true;
#else
    (void)directory;
    errno = EOPNOTSUPP;
    return false;
#endif
}

bool File::OpenHost(intptr_t directory, const char* path, uint32_t desiredAccess, uint32_t share,
                    Disposition disposition, bool noLinks) {
    switch (disposition) {
        case Disposition::CreateNew:
        case Disposition::CreateAlways:
        case Disposition::OpenExisting:
        case Disposition::OpenAlways:
            break;
        default:
            return false;
    }
    const int flags = OpenFlagsFor(desiredAccess, disposition) | (noLinks ? O_NOFOLLOW : 0);
    int fd;
    do {
        fd = ::openat(static_cast<int>(directory), path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    // Only regular files are files here: not a directory, nor a FIFO, a
    // device or a socket, whose reads and writes would not be a file's.
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    uint32_t accessBits = desiredAccess & (ACCESS_READ | ACCESS_WRITE);
    ShareEntry entry{status.st_dev, status.st_ino, this, accessBits,
                     share & (SHARE_READ | SHARE_WRITE)};
    if (!RegisterShare(entry)) {
        ::close(fd);
        errno = EBUSY;
        return false;
    }
    // Only an open that the share rules allow may empty the file.
    if (disposition == Disposition::CreateAlways && status.st_size != 0 && ftruncate(fd, 0) != 0) {
        UnregisterShare(this);
        ::close(fd);
        return false;
    }
    handle = fd;
    access = accessBits;
    return true;
}

bool File::HasPositionedReads() {
    return true;
}

bool File::ClosingTakesLong() {
    return false;
}

bool File::ReadAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (!IsOpen() || (access & ACCESS_READ) == 0 || offset > uint64_t{INT64_MAX} - count) {
        return false;
    }
    const int fd = static_cast<int>(handle);
    return ReadFully(buffer, count, done, [&](unsigned char* at, uint32_t n, uint32_t got) {
        return ::pread(fd, at, n, static_cast<off_t>(offset + got));
    });
}

bool File::Read(void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (!IsOpen() || (access & ACCESS_READ) == 0) {
        return false;
    }
    const int fd = static_cast<int>(handle);
    return ReadFully(buffer, count, done,
                     [&](unsigned char* at, uint32_t n, uint32_t) { return ::read(fd, at, n); });
}

bool File::Write(const void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (!IsOpen() || (access & ACCESS_WRITE) == 0) {
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    while (*done < count) {
        ssize_t n = ::write(static_cast<int>(handle), bytes + *done, count - *done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return false;
        }
        *done += static_cast<uint32_t>(n);
    }
    return true;
}

int64_t File::Seek(int64_t offset, Origin origin) {
    if (!IsOpen()) {
        return -1;
    }
    int fd = static_cast<int>(handle);
    off_t base;
    switch (origin) {
        case Origin::Start:
            base = 0;
            break;
        case Origin::Current:
            base = lseek(fd, 0, SEEK_CUR);
            break;
        case Origin::End: {
            struct stat status;
            base = fstat(fd, &status) == 0 ? status.st_size : -1;
            break;
        }
        default:
            return -1;
    }
    if (base < 0) {
        return -1;
    }
    // The position is only moved once the target is known to be in range.
    int64_t target;
    if (__builtin_add_overflow(int64_t{base}, offset, &target) || target < 0) {
        return -1;
    }
    if (lseek(fd, static_cast<off_t>(target), SEEK_SET) != target) {
        return -1;
    }
    return target;
}

int64_t File::GetSize() {
    struct stat status;
    if (!IsOpen() || fstat(static_cast<int>(handle), &status) != 0 || status.st_size < 0) {
        return -1;
    }
    return status.st_size;
}

bool File::Identity(FileIdentity* out) const {
    struct stat status;
    if (!IsOpen() || fstat(static_cast<int>(handle), &status) != 0) {
        return false;
    }
    *out = FileIdentity{static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino)};
    return true;
}

bool File::Flush() {
    return IsOpen() && (access & ACCESS_WRITE) != 0 && fsync(static_cast<int>(handle)) == 0;
}

void File::Close() {
    if (!IsOpen()) {
        return;
    }
    UnregisterShare(this);
    ::close(static_cast<int>(handle));
    handle = INVALID_HANDLE;
    access = 0;
}

}  // namespace vfs::host
