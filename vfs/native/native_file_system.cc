#include "vfs/native/native_file_system.h"

#include <cstdint>

#include "vfs/core/open_flags.h"
#include "vfs/core/path_resolution.h"
#include "vfs/core/vfs_string.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_limits.h"
#include "vfs/stream/mmio_stream.h"
#include "vfs/stream/win32_file_stream.h"

namespace vfs {

namespace {

// Whether `out->name` points into `out->path`, as FindFirst leaves it: a
// record not prepared by FindFirst must not steer a write elsewhere.
bool NameInsidePath(const FindData* out) {
    auto path = reinterpret_cast<uintptr_t>(out->path);
    auto name = reinterpret_cast<uintptr_t>(out->name);
    return name >= path && name < path + sizeof(out->path);
}

}  // namespace

NativeFileSystem::~NativeFileSystem() {
    FindClose();
}

Result NativeFileSystem::Open(const char* path) {
    char resolved[HOST_MAX_PATH];
    if (ResolvePath(resolved, sizeof(resolved), path).Failed() ||
        host::GetPathAttributes(resolved) == host::INVALID_ATTRIBUTES) {
        return Result::Fail();
    }
    rootPath.Assign(resolved);
    if (rootPath.length == 0 || !IsPathSeparator(rootPath.data[rootPath.length - 1])) {
        rootPath.Append('\\');
    }
    return Result::Ok();
}

Result NativeFileSystem::ResolveRelative(char* buffer, const char* path) {
    if (path == nullptr) {
        return Result::Fail();
    }
    VfsString full(rootPath);
    full.Append(path);
    return ResolvePath(buffer, HOST_MAX_PATH, full.c_str());
}

Result NativeFileSystem::OpenFile(StreamRef& out, const char* path, uint32_t flags,
                                  uint32_t /*reserved*/) {
    if (out.Get() != nullptr || path == nullptr) {
        return Result::Fail();
    }
    VfsString full(rootPath);
    full.Append(path);
    Stream* stream;
    Result opened;
    if ((flags & OPEN_BUFFERED) != 0) {
        auto* buffered = new MmioStream();
        stream = buffered;
        opened = buffered->Open(full.c_str(), flags & ~OPEN_BUFFERED);
    } else {
        auto* plain = new Win32FileStream();
        stream = plain;
        opened = plain->Open(full.c_str(), flags);
    }
    if (opened.Failed()) {
        // Its count is 0: Release closes and frees it.
        stream->Release();
        return Result::Fail();
    }
    out.Set(stream);
    return Result::Ok();
}

Result NativeFileSystem::StoreEntry(const host::FoundEntry& entry, FindData* out) {
    if (StoreFoundName(out, entry.name).Failed()) {
        return Result::Fail();
    }
    // Sizes are 32-bit: a larger file is reported modulo 2^32.
    out->size = static_cast<uint32_t>(entry.size);
    out->attributes = entry.attributes;
    out->lastWriteTime = entry.lastWriteTime;
    out->lastAccessTime = entry.lastAccessTime;
    out->creationTime = entry.creationTime;
    return Result::Ok();
}

Result NativeFileSystem::FindFirst(const char* pattern, FindData* out) {
    FindClose();
    if (pattern == nullptr || pattern[0] == '\0' || out == nullptr) {
        return Result::Fail();
    }
    if (PrepareFindData(out, pattern).Failed()) {
        return Result::Fail();
    }
    VfsString full(rootPath);
    full.Append(pattern);
    host::FoundEntry entry;
    if (!finder.First(full.c_str(), &entry)) {
        return Result::Fail();
    }
    if (StoreEntry(entry, out).Failed()) {
        FindClose();
        return Result::Fail();
    }
    return Result::Ok();
}

Result NativeFileSystem::FindNext(FindData* out) {
    if (!finder.IsOpen() || out == nullptr || !NameInsidePath(out)) {
        return Result::Fail();
    }
    host::FoundEntry entry;
    if (!finder.Next(&entry)) {
        return Result::Fail();
    }
    return StoreEntry(entry, out);
}

void NativeFileSystem::FindClose() {
    finder.Close();
}

Result NativeFileSystem::SetAttributes(const char* path, uint32_t attributes) {
    char resolved[HOST_MAX_PATH];
    if (ResolveRelative(resolved, path).Failed()) {
        return Result::Fail();
    }
    return host::SetPathAttributes(resolved, attributes) ? Result::Ok() : Result::Fail();
}

Result NativeFileSystem::CreateDirectory(const char* path) {
    char resolved[HOST_MAX_PATH];
    if (ResolveRelative(resolved, path).Failed()) {
        return Result::Fail();
    }
    return host::MakeDirectory(resolved) ? Result::Ok() : Result::Fail();
}

Result NativeFileSystem::Delete(const char* path) {
    char resolved[HOST_MAX_PATH];
    if (ResolveRelative(resolved, path).Failed()) {
        return Result::Fail();
    }
    // A path that names nothing is tried as a file, and fails.
    uint32_t attributes = host::GetPathAttributes(resolved);
    bool directory =
        attributes != host::INVALID_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool removed = directory ? host::RemoveEmptyDirectory(resolved) : host::RemoveFile(resolved);
    return removed ? Result::Ok() : Result::Fail();
}

Result NativeFileSystem::Move(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) {
        return Result::Fail();
    }
    // The root path is already absolute: the joined paths go to the host as
    // they are (and are refused there if they are too long).
    VfsString fullFrom(rootPath);
    fullFrom.Append(from);
    VfsString fullTo(rootPath);
    fullTo.Append(to);
    return host::MovePath(fullFrom.c_str(), fullTo.c_str()) ? Result::Ok() : Result::Fail();
}

Result NativeFileSystem::Replace(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) {
        return Result::Fail();
    }
    VfsString fullFrom(rootPath);
    fullFrom.Append(from);
    VfsString fullTo(rootPath);
    fullTo.Append(to);
    return host::ReplacePath(fullFrom.c_str(), fullTo.c_str()) ? Result::Ok() : Result::Fail();
}

}  // namespace vfs
