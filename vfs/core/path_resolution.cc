#include "vfs/core/path_resolution.h"

#include <cstring>

#include "vfs/core/bounded_string.h"
#include "vfs/host/command_line.h"
#include "vfs/host/host_limits.h"
#include "vfs/host/path_drive.h"

namespace vfs {

namespace {

char baseDirectory[HOST_MAX_PATH];

// Joins up to two texts into the buffer; fails with an empty buffer when the
// whole does not fit.
Result Join(char* buffer, uint32_t size, const char* first, uint32_t firstLength,
            const char* second) {
    BoundedString text(buffer, size, true);
    text.Assign(StringView(first, firstLength));
    bool cut = text.overflow != 0;
    if (second != nullptr) {
        text.Append(second);
        cut = cut || text.overflow != 0;
    }
    if (cut) {
        if (size > 0) {
            buffer[0] = '\0';
        }
        return Result::Fail();
    }
    return Result::Ok();
}

}  // namespace

void ParseProgramDirectory(const char* commandLine, char* out, uint32_t outSize) {
    if (outSize == 0) {
        return;
    }
    out[0] = '\0';
    if (commandLine == nullptr) {
        return;
    }
    // The parse works on a copy no longer than its result may be, so that
    // what it keeps always fits.
    char commandLineCopy[HOST_MAX_PATH];
    uint32_t limit = outSize < sizeof(commandLineCopy) ? outSize : sizeof(commandLineCopy);
    size_t take = strnlen(commandLine, limit - 1);
    std::memcpy(commandLineCopy, commandLine, take);
    commandLineCopy[take] = '\0';

    char* program = commandLineCopy;
    if (program[0] == '"') {
        ++program;
        char* close = std::strchr(program, '"');
        if (close != nullptr) {
            *close = '\0';
        }
    } else {
        char* space = std::strchr(program, ' ');
        if (space != nullptr) {
            *space = '\0';
        }
    }
    const char* lastBackslash = std::strrchr(program, '\\');
    const char* lastSlash = std::strrchr(program, '/');
    const char* last = lastBackslash > lastSlash ? lastBackslash : lastSlash;
    if (last == nullptr) {
        return;
    }
    size_t keep = static_cast<size_t>(last - program) + 1;
    std::memcpy(out, program, keep);
    out[keep] = '\0';
}

Result SetBaseDirectory(const char* directory) {
    if (directory == nullptr) {
        baseDirectory[0] = '\0';
        return Result::Ok();
    }
    size_t n = strnlen(directory, sizeof(baseDirectory));
    bool driveAndRoot = n >= 3 && directory[1] == ':' && IsPathSeparator(directory[2]);
    bool rooted = n >= 1 && IsPathSeparator(directory[0]);
    bool separatorMissing = n >= 1 && !IsPathSeparator(directory[n - 1]);
    // A host path of HOST_MAX_PATH - 1 characters must still fit after the
    // separator is added.
    if (!(driveAndRoot || rooted) || n + (separatorMissing ? 1 : 0) >= sizeof(baseDirectory)) {
        return Result::Fail();
    }
    // The added separator is the kind the directory already uses.
    char separator = '/';
    for (size_t i = 0; i < n; ++i) {
        if (IsPathSeparator(directory[i])) {
            separator = directory[i];
        }
    }
    std::memcpy(baseDirectory, directory, n);
    if (separatorMissing) {
        baseDirectory[n++] = separator;
    }
    baseDirectory[n] = '\0';
    return Result::Ok();
}

const char* GetBaseDirectory() {
    if (baseDirectory[0] == '\0') {
        ParseProgramDirectory(host::GetCommandLine(), baseDirectory, sizeof(baseDirectory));
    }
    return baseDirectory;
}

Result ResolvePath(char* buffer, uint32_t size, const char* path) {
    if (path == nullptr) {
        const char* base = GetBaseDirectory();
        return Join(buffer, size, base, static_cast<uint32_t>(std::strlen(base)), nullptr);
    }
    size_t n = std::strlen(path);
    bool driveAndRoot = n >= 3 && path[1] == ':' && IsPathSeparator(path[2]);
    bool network = n >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1]);
    if (driveAndRoot || network) {
        return Join(buffer, size, path, static_cast<uint32_t>(n), nullptr);
    }
    const char* base = GetBaseDirectory();
    if (n >= 1 && IsPathSeparator(path[0])) {
        uint32_t drive = static_cast<uint32_t>(host::GetDriveLength(base));
        return Join(buffer, size, base, drive, path);
    }
    return Join(buffer, size, base, static_cast<uint32_t>(std::strlen(base)), path);
}

}  // namespace vfs
