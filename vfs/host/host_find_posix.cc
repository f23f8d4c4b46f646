#include "vfs/host/host_find.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "vfs/host/held_directory.h"
#include "vfs/host/host_names.h"
#include "vfs/host/host_path.h"
#include "vfs/host/posix_attributes.h"

namespace vfs::host {

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t EPOCH_DIFFERENCE_SECONDS = 11644473600;
constexpr int64_t TICKS_PER_SECOND = 10000000;

uint64_t HostFileTime(int64_t seconds, int64_t nanoseconds) {
    int64_t since1601 = seconds + EPOCH_DIFFERENCE_SECONDS;
    if (since1601 < 0) {
        return 0;
    }
    return static_cast<uint64_t>(since1601) * TICKS_PER_SECOND +
           static_cast<uint64_t>(nanoseconds / 100);
}

// '*' and '?' matching over the whole name, without recursion: on a mismatch
// the most recent '*' takes one more character.
bool MatchesGlob(const char* name, size_t nameLength, const char* pattern, size_t patternLength) {
    size_t n = 0;
    size_t p = 0;
    size_t starPattern = SIZE_MAX;
    size_t starName = 0;
    while (n < nameLength) {
        if (p < patternLength && pattern[p] == '*') {
            starPattern = p++;
            starName = n;
        } else if (p < patternLength && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starPattern != SIZE_MAX) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < patternLength && pattern[p] == '*') {
        ++p;
    }
    return p == patternLength;
}

bool MatchesPattern(const char* name, const std::string& pattern) {
    size_t nameLength = std::strlen(name);
    if (MatchesGlob(name, nameLength, pattern.data(), pattern.size())) {
        return true;
    }
    // A trailing ".*" may also stand for no extension at all.
    size_t n = pattern.size();
    return n >= 2 && pattern[n - 2] == '.' && pattern[n - 1] == '*' &&
           MatchesGlob(name, nameLength, pattern.data(), n - 2);
}

// Fills `out` for the entry `name`, looked up as `at` in `directoryFd`
// (or AT_FDCWD). False, with only the name and the normal bit filled in,
// when nothing has that name.
bool FillEntry(int directoryFd, const char* at, const char* name, FoundEntry* out) {
    *out = FoundEntry{};
    std::memcpy(out->name, name, std::strlen(name) + 1);
    const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    struct statx found;
    if (statx(directoryFd, at, AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW, mask, &found) != 0) {
        struct stat status;
        out->attributes =
            errno == ENOSYS ? EntryAttributes(directoryFd, at, &status) : INVALID_ATTRIBUTES;
        if (out->attributes == INVALID_ATTRIBUTES) {
            out->attributes = ATTRIBUTE_NORMAL;
            return false;
        }
        out->size = static_cast<uint64_t>(status.st_size);
        out->lastWriteTime = HostFileTime(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
        out->lastAccessTime = HostFileTime(status.st_atim.tv_sec, status.st_atim.tv_nsec);
        out->creationTime = out->lastWriteTime;
        return true;
    }
    if (!S_ISLNK(found.stx_mode)) {
        out->attributes = AttributesFromMode(found.stx_mode);
    } else if (struct statx target;
               statx(directoryFd, at, AT_STATX_SYNC_AS_STAT, mask, &target) == 0) {
        // A link answers for what it leads to, marked as a link.
        found = target;
        out->attributes = LinkAttributes(found.stx_mode);
    } else {
        out->attributes = ATTRIBUTE_REPARSE_POINT;
    }
    out->size = found.stx_size;
    out->lastWriteTime = HostFileTime(found.stx_mtime.tv_sec, found.stx_mtime.tv_nsec);
    out->lastAccessTime = HostFileTime(found.stx_atime.tv_sec, found.stx_atime.tv_nsec);
    // Without a birth time the last write is the earliest time known.
    out->creationTime = (found.stx_mask & STATX_BTIME) != 0
                            ? HostFileTime(found.stx_btime.tv_sec, found.stx_btime.tv_nsec)
                            : out->lastWriteTime;
    return true;
}

bool HasWildcard(const std::string& pattern) {
    return pattern.find_first_of("*?") != std::string::npos;
}

}  // namespace

Finder::~Finder() {
    Close();
}

bool Finder::First(const char* pattern, FoundEntry* out) {
    Close();
    HostPath hostPattern(pattern);
    if (!hostPattern.IsValid()) {
        return false;
    }
    const char* text = hostPattern.c_str();
    const char* lastSlash = std::strrchr(text, '/');
    std::string directoryPath;
    if (lastSlash == nullptr) {
        directoryPath = ".";
        namePattern = text;
    } else {
        // The root keeps its slash; any other directory needs none.
        directoryPath.assign(text, lastSlash == text ? 1 : static_cast<size_t>(lastSlash - text));
        namePattern = lastSlash + 1;
    }
    if (namePattern.empty()) {
        return false;
    }
    if (!HasWildcard(namePattern)) {
        // One name: looked up at once, without reading the directory.
        bool found = namePattern.size() < sizeof(out->name) &&
                     FillEntry(AT_FDCWD, text, namePattern.c_str(), out);
        namePattern.clear();
        return found;
    }
    directory = opendir(directoryPath.c_str());
    if (directory == nullptr) {
        return false;
    }
    if (!Next(out)) {
        Close();
        return false;
    }
    return true;
}

bool Finder::First(const HeldDirectory& held, const char* pattern, FoundEntry* out) {
    Close();
    if (!held.IsOpen() || pattern == nullptr || pattern[0] == '\0' ||
        std::strpbrk(pattern, "\\/") != nullptr) {
        errno = EINVAL;
        return false;
    }
    namePattern = pattern;
    if (!HasWildcard(namePattern)) {
        namePattern.clear();
        return UnusableNameReason(pattern) == nullptr && std::strlen(pattern) < sizeof(out->name) &&
               FillEntry(static_cast<int>(held.NativeHandle()), pattern, pattern, out);
    }
    // The held descriptor only names the directory: reading it takes one of
    // its own.
    int fd;
    do {
        fd = openat(static_cast<int>(held.NativeHandle()), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    directory = fdopendir(fd);
    if (directory == nullptr) {
        close(fd);
        return false;
    }
    if (!Next(out)) {
        const int why = errno;
        Close();
        errno = why;
        return false;
    }
    return true;
}

bool Finder::Next(FoundEntry* out) {
    if (directory == nullptr) {
        return false;
    }
    DIR* stream = static_cast<DIR*>(directory);
    for (;;) {
        const struct dirent* entry = readdir(stream);
        if (entry == nullptr) {
            return false;
        }
        if (std::strlen(entry->d_name) < sizeof(out->name) &&
            MatchesPattern(entry->d_name, namePattern)) {
            // An entry gone between the listing and the look is still an
            // entry of the listing.
            FillEntry(dirfd(stream), entry->d_name, entry->d_name, out);
            return true;
        }
    }
}

void Finder::Close() {
    if (directory != nullptr) {
        closedir(static_cast<DIR*>(directory));
        directory = nullptr;
    }
    namePattern.clear();
}

}  // namespace vfs::host
