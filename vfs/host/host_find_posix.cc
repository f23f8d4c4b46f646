#include "vfs/host/host_find.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstring>

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

char FoldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
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
        } else if (p < patternLength &&
                   (pattern[p] == '?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
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

void FillEntry(int directoryFd, const char* name, FoundEntry* out) {
    *out = FoundEntry{};
    std::memcpy(out->name, name, std::strlen(name) + 1);
    struct statx extended;
    int flags = AT_STATX_SYNC_AS_STAT;
    unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    // A link answers for what it points to; a dangling one for itself.
    if (statx(directoryFd, name, flags, mask, &extended) == 0 ||
        statx(directoryFd, name, flags | AT_SYMLINK_NOFOLLOW, mask, &extended) == 0) {
        out->attributes = AttributesFromMode(extended.stx_mode);
        out->size = extended.stx_size;
        out->lastWriteTime = HostFileTime(extended.stx_mtime.tv_sec, extended.stx_mtime.tv_nsec);
        out->lastAccessTime = HostFileTime(extended.stx_atime.tv_sec, extended.stx_atime.tv_nsec);
        // Without a birth time the last write is the earliest time known.
        out->creationTime =
            (extended.stx_mask & STATX_BTIME) != 0
                ? HostFileTime(extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec)
                : out->lastWriteTime;
        return;
    }
    struct stat status;
    if (fstatat(directoryFd, name, &status, 0) == 0 ||
        fstatat(directoryFd, name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
        out->attributes = AttributesFromMode(status.st_mode);
        out->size = static_cast<uint64_t>(status.st_size);
        out->lastWriteTime = HostFileTime(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
        out->lastAccessTime = HostFileTime(status.st_atim.tv_sec, status.st_atim.tv_nsec);
        out->creationTime = out->lastWriteTime;
        return;
    }
    // Gone between the listing and the look: still an entry of the listing.
    out->attributes = ATTRIBUTE_NORMAL;
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
            FillEntry(dirfd(stream), entry->d_name, out);
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
