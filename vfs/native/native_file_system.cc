#include "vfs/native/native_file_system.h"

#include <cstdint>

#include "vfs/core/host_failure.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/path_resolution.h"
#include "vfs/core/vfs_string.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_error.h"
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
    if (ResolvePath(resolved, sizeof(resolved), path).Failed()) {
        return FailWithPathTooLong();
    }
    if (host::GetPathAttributes(resolved) == host::INVALID_ATTRIBUTES) {
        return FailWithHostReason("cannot be opened");
    }
    rootPath.Assign(resolved);
    if (rootPath.length == 0 || !IsPathSeparator(rootPath.data[rootPath.length - 1])) {
        rootPath.Append('\\');
    }
    return Result::Ok();
}

Result NativeFileSystem::OpenHeld(const char* path) {
    char resolved[HOST_MAX_PATH];
    host::HeldDirectory directory;
    if (ResolvePath(resolved, sizeof(resolved), path).Failed()) {
        return FailWithPathTooLong();
    }
    if (!directory.Open(resolved)) {
        return FailWithHostReason("cannot be opened");
    }
    Hold(std::move(directory), resolved);
    return Result::Ok();
}

Result NativeFileSystem::OpenHeld(const NativeFileSystem& base, const char* relative) {
    host::HeldDirectory directory;
    if (relative == nullptr) {
        return Result::Fail();
    }
    if (!directory.OpenBeneath(base.root, relative)) {
        return FailWithHostReason("cannot be opened");
    }
    VfsString path(base.rootPath);
    path.Append(relative);
    Hold(std::move(directory), path.c_str());
    return Result::Ok();
}

void NativeFileSystem::Hold(host::HeldDirectory directory, const char* path) {
    FindClose();
    root = std::move(directory);
    located.Close();
    locatedPath.clear();
    locatedWatched = false;
    watchedPaths.clear();
    rootPath.Assign(path);
    if (rootPath.length == 0 || !IsPathSeparator(rootPath.data[rootPath.length - 1])) {
        rootPath.Append('\\');
    }
}

Result NativeFileSystem::Locate(const char* path, host::HeldDirectory* directory, std::string* leaf,
                                bool afresh) {
    if (path == nullptr) {
        return Result::Fail();
    }
    const char* cut = nullptr;
    for (const char* p = path; *p != '\0'; ++p) {
        if (IsPathSeparator(*p)) {
            cut = p;
        }
    }
    if (cut == nullptr) {
        *directory = root;
        leaf->assign(path);
        return leaf->empty() ? Result::Fail() : Result::Ok();
    }
    leaf->assign(cut + 1);
    if (leaf->empty()) {
        return Result::Fail();
    }
    const size_t length = static_cast<size_t>(cut - path);
    // Where held directories cannot be moved, a path once located stays
    // right; elsewhere, while nothing watched on its way has moved.
    if (located.IsOpen() && locatedPath.size() == length &&
        locatedPath.compare(0, length, path, length) == 0 &&
        (!afresh || host::HeldDirectory::StaysInPlace() ||
         (locatedWatched && watch->Changes() == locatedChanges))) {
        *directory = located;
        return Result::Ok();
    }
    if (afresh && watch == nullptr && !watchUnavailable && !host::HeldDirectory::StaysInPlace()) {
        watch = host::TreeWatch::Start();
        watchUnavailable = watch == nullptr;
    }
    // Counted before anything is watched or resolved: a move from here on
    // makes the next use resolve again.
    const uint64_t changes = watch == nullptr ? 0 : watch->Changes();
    std::string relative(path, length);
    const bool wayWatched = watch != nullptr && WatchWayTo(relative, changes);
    if (!directory->OpenBeneath(root, relative.c_str())) {
        return FailWithHostReason("cannot be reached");
    }
    located = *directory;
    locatedChanges = changes;
    // The directory resolved must be the one watched at its path: one moved
    // in between would be watched nowhere.
    locatedWatched = wayWatched && watch->Add(*directory) == watchedPaths[relative];
    locatedPath = std::move(relative);
    return Result::Ok();
}

bool NativeFileSystem::WatchWayTo(const std::string& relative, uint64_t changes) {
    if (changes != watchedAt) {
        // Something moved: a path watched may lead elsewhere now.
        watchedPaths.clear();
        watchedAt = changes;
    }
    // Top down, each directory watched before the path through it is
    // resolved again below it: whatever was moved before its watch began is
    // not on the way that the later resolutions take.
    for (size_t end = 0; end != std::string::npos;) {
        end = relative.find_first_of("\\/", end + 1);
        std::string way = relative.substr(0, end);
        if (watchedPaths.count(way) != 0) {
            continue;
        }
        host::HeldDirectory on;
        const int64_t number = on.OpenBeneath(root, way.c_str()) ? watch->Add(on) : -1;
        if (number < 0) {
            return false;
        }
        watchedPaths.emplace(std::move(way), number);
    }
    return true;
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
    Stream* stream;
    Result opened;
    host::ClearLastError();
    host::HeldDirectory directory;
    std::string leaf;
    if (root.IsOpen()) {
        // Held: always the plain back-end, opened in the located directory.
        if (Locate(path, &directory, &leaf, true).Failed()) {
            return Result::Fail();
        }
        auto* plain = new Win32FileStream();
        stream = plain;
        opened = plain->OpenIn(directory, leaf.c_str(), flags & ~OPEN_BUFFERED);
    } else if ((flags & OPEN_BUFFERED) != 0) {
        VfsString full(rootPath);
        full.Append(path);
        auto* buffered = new MmioStream();
        stream = buffered;
        opened = buffered->Open(full.c_str(), flags & ~OPEN_BUFFERED);
    } else {
        VfsString full(rootPath);
        full.Append(path);
        auto* plain = new Win32FileStream();
        stream = plain;
        opened = plain->Open(full.c_str(), flags);
    }
    if (opened.Failed()) {
        FailWithHostReason("cannot be opened");
        // Its count is 0: Release closes and frees it.
        stream->Release();
        return Result::Fail();
    }
    out.Set(stream);
    return Result::Ok();
}

Result NativeFileSystem::CreateUnnamedFile(StreamRef& out, const char* path,
                                           const char* provisional) {
    if (out.Get() != nullptr || path == nullptr || provisional == nullptr) {
        return Result::Fail();
    }
    if (!root.IsOpen() || unnamedUnsupported) {
        return FileSystem::CreateUnnamedFile(out, path, provisional);
    }
    host::HeldDirectory directory;
    std::string leaf;
    if (Locate(path, &directory, &leaf, true).Failed()) {
        return Result::Fail();
    }
    auto* stream = new Win32FileStream();
    host::ClearLastError();
    if (stream->CreateUnnamedIn(directory, provisional).Failed()) {
        FailWithHostReason("cannot be created");
        unnamedUnsupported = LastError().code == ErrorCode::UNSUPPORTED;
        stream->Release();
        return Result::Fail();
    }
    out.Set(stream);
    return Result::Ok();
}

Result NativeFileSystem::NameUnnamedFile(StreamRef& file, const char* path) {
    auto* stream = dynamic_cast<Win32FileStream*>(file.Get());
    if (stream == nullptr || !root.IsOpen()) {
        return FileSystem::NameUnnamedFile(file, path);
    }
    host::HeldDirectory directory;
    std::string leaf;
    if (Locate(path, &directory, &leaf).Failed()) {
        return Result::Fail();
    }
    host::ClearLastError();
    return stream->LinkIn(directory, leaf.c_str()).Succeeded()
               ? Result::Ok()
               : FailWithHostReason("cannot be moved");
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
    host::FoundEntry entry;
    if (root.IsOpen()) {
        host::HeldDirectory directory;
        std::string leaf;
        if (Locate(pattern, &directory, &leaf, true).Failed()) {
            return Result::Fail();
        }
        if (!finder.First(directory, leaf.c_str(), &entry)) {
            return FailWithHostReason("finds nothing");
        }
    } else {
        VfsString full(rootPath);
        full.Append(pattern);
        if (!finder.First(full.c_str(), &entry)) {
            return FailWithHostReason("finds nothing");
        }
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
    if (root.IsOpen()) {
        host::HeldDirectory directory;
        std::string leaf;
        if (Locate(path, &directory, &leaf).Failed()) {
            return Result::Fail();
        }
        return directory.SetAttributes(leaf.c_str(), attributes)
                   ? Result::Ok()
                   : FailWithHostReason("cannot be changed");
    }
    char resolved[HOST_MAX_PATH];
    if (ResolveRelative(resolved, path).Failed()) {
        return FailWithPathTooLong();
    }
    return host::SetPathAttributes(resolved, attributes) ? Result::Ok()
                                                         : FailWithHostReason("cannot be changed");
}

Result NativeFileSystem::CreateDirectory(const char* path) {
    if (root.IsOpen()) {
        host::HeldDirectory directory;
        std::string leaf;
        if (Locate(path, &directory, &leaf).Failed()) {
            return Result::Fail();
        }
        return directory.MakeDirectory(leaf.c_str()) ? Result::Ok()
                                                     : FailWithHostReason("cannot be created");
    }
    char resolved[HOST_MAX_PATH];
    if (ResolveRelative(resolved, path).Failed()) {
        return FailWithPathTooLong();
    }
    return host::MakeDirectory(resolved) ? Result::Ok() : FailWithHostReason("cannot be created");
}

Result NativeFileSystem::Delete(const char* path) {
    if (root.IsOpen()) {
        // A link is deleted as a file, whatever it leads to.
        host::HeldDirectory directory;
        std::string leaf;
        if (Locate(path, &directory, &leaf).Failed()) {
            return Result::Fail();
        }
        const uint32_t attributes = directory.Attributes(leaf.c_str());
        const bool isDirectory = attributes != host::INVALID_ATTRIBUTES &&
                                 (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                 (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        const bool removed = isDirectory ? directory.RemoveEmptyDirectory(leaf.c_str())
                                         : directory.RemoveFile(leaf.c_str());
        return removed ? Result::Ok() : FailWithHostReason("cannot be deleted");
    }
    char resolved[HOST_MAX_PATH];
    if (ResolveRelative(resolved, path).Failed()) {
        return FailWithPathTooLong();
    }
    // A path that names nothing is tried as a file, and fails.
    uint32_t attributes = host::GetPathAttributes(resolved);
    bool directory =
        attributes != host::INVALID_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool removed = directory ? host::RemoveEmptyDirectory(resolved) : host::RemoveFile(resolved);
    return removed ? Result::Ok() : FailWithHostReason("cannot be deleted");
}

Result NativeFileSystem::Move(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) {
        return Result::Fail();
    }
    if (root.IsOpen()) {
        return HeldRename(from, to, false);
    }
    // The root path is already absolute: the joined paths go to the host as
    // they are (and are refused there if they are too long).
    VfsString fullFrom(rootPath);
    fullFrom.Append(from);
    VfsString fullTo(rootPath);
    fullTo.Append(to);
    return host::MovePath(fullFrom.c_str(), fullTo.c_str()) ? Result::Ok()
                                                            : FailWithHostReason("cannot be moved");
}

Result NativeFileSystem::Replace(const char* from, const char* to) {
    if (from == nullptr || to == nullptr) {
        return Result::Fail();
    }
    if (root.IsOpen()) {
        return HeldRename(from, to, true);
    }
    VfsString fullFrom(rootPath);
    fullFrom.Append(from);
    VfsString fullTo(rootPath);
    fullTo.Append(to);
    return host::ReplacePath(fullFrom.c_str(), fullTo.c_str())
               ? Result::Ok()
               : FailWithHostReason("cannot be moved");
}

Result NativeFileSystem::HeldRename(const char* from, const char* to, bool replace) {
    host::HeldDirectory fromDirectory;
    std::string fromLeaf;
    if (Locate(from, &fromDirectory, &fromLeaf).Failed()) {
        return Result::Fail();
    }
    host::HeldDirectory toDirectory;
    std::string toLeaf;
    if (Locate(to, &toDirectory, &toLeaf).Failed()) {
        return Result::Fail();
    }
    return host::HeldDirectory::Rename(fromDirectory, fromLeaf.c_str(), toDirectory, toLeaf.c_str(),
                                       replace)
               ? Result::Ok()
               : FailWithHostReason("cannot be moved");
}

Result NativeFileSystem::GetFileIdentity(const char* path, FileIdentity* out) {
    if (out == nullptr) {
        return Result::Fail();
    }
    host::HeldDirectory directory;
    std::string leaf;
    if (root.IsOpen()) {
        if (Locate(path, &directory, &leaf).Failed()) {
            return Result::Fail();
        }
    } else {
        // The directory by its path, as every operation of this mode goes.
        if (path == nullptr) {
            return Result::Fail();
        }
        VfsString full(rootPath);
        full.Append(path);
        char resolved[HOST_MAX_PATH];
        if (ResolvePath(resolved, sizeof(resolved), full.c_str()).Failed()) {
            return FailWithPathTooLong();
        }
        std::string text(resolved);
        const size_t cut = text.find_last_of("\\/");
        if (cut == std::string::npos) {
            return Result::Fail();
        }
        if (!directory.Open(text.substr(0, cut + 1).c_str())) {
            return FailWithHostReason("cannot be reached");
        }
        leaf = text.substr(cut + 1);
    }
    return directory.Identity(leaf.c_str(), out) ? Result::Ok()
                                                 : FailWithHostReason("cannot be read");
}

}  // namespace vfs
