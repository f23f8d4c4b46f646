#include "vfs/host/host_find.h"

#include "vfs/host/windows_api.h"

#include <cstring>
#include <string>

#include "vfs/host/held_directory.h"
#include "vfs/host/host_path.h"

namespace vfs::host {

namespace {

uint64_t Ticks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The host's wildcards, letter case and "*.*" rules are the library's on
// Windows, so the entry is taken as the host found it.
void FillEntry(const WIN32_FIND_DATAA& data, FoundEntry* out) {
    *out = FoundEntry{};
    out->attributes = data.dwFileAttributes;
    out->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    out->creationTime = Ticks(data.ftCreationTime);
    out->lastAccessTime = Ticks(data.ftLastAccessTime);
    out->lastWriteTime = Ticks(data.ftLastWriteTime);
    static_assert(sizeof(out->name) >= sizeof(data.cFileName));
    size_t n = strnlen(data.cFileName, sizeof(data.cFileName) - 1);
    std::memcpy(out->name, data.cFileName, n);
    out->name[n] = '\0';
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
    // A pattern that ends in a separator has no name to match.
    const char* text = hostPattern.c_str();
    size_t n = std::strlen(text);
    if (n == 0 || text[n - 1] == '\\' || text[n - 1] == '/') {
        return false;
    }
    // A name without wildcards is looked up directly by the host itself.
    WIN32_FIND_DATAA data;
    HANDLE found = FindFirstFileA(text, &data);
    if (found == INVALID_HANDLE_VALUE) {
        return false;
    }
    directory = found;
    FillEntry(data, out);
    return true;
}

bool Finder::First(const HeldDirectory& held, const char* pattern, FoundEntry* out) {
    Close();
    if (!held.IsOpen() || pattern == nullptr || pattern[0] == '\0' ||
        std::strpbrk(pattern, "\\/") != nullptr) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    // The directory and every one above it are held: its path leads there.
    const std::string& base = held.Path();
    const bool separated = !base.empty() && (base.back() == '\\' || base.back() == '/');
    return First((base + (separated ? "" : "\\") + pattern).c_str(), out);
}

bool Finder::Next(FoundEntry* out) {
    if (directory == nullptr) {
        return false;
    }
    WIN32_FIND_DATAA data;
    if (!FindNextFileA(static_cast<HANDLE>(directory), &data)) {
        return false;
    }
    FillEntry(data, out);
    return true;
}

void Finder::Close() {
    if (directory != nullptr) {
        FindClose(static_cast<HANDLE>(directory));
        directory = nullptr;
    }
    namePattern.clear();
}

}  // namespace vfs::host
