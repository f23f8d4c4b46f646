#include "vfs/host/held_directory.h"

#include "vfs/host/windows_api.h"

#include <cstring>

#include "vfs/host/host_directory.h"
#include "vfs/host/host_names.h"
#include "vfs/host/host_path.h"

namespace vfs::host {

// Each directory holds the one above it, up to the one first opened, so
// that none on the way can be renamed or removed while this one is held.
struct HeldDirectory::Node {
    Node(HANDLE handle, std::string path, std::shared_ptr<const Node> parent)
        : handle(handle), path(std::move(path)), parent(std::move(parent)) {}
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;
    ~Node() { CloseHandle(handle); }

    HANDLE handle;
    std::string path;
    std::shared_ptr<const Node> parent;
};

namespace {

// Opened to be held: others may read and write in it, but not rename,
// remove or replace it (no delete sharing).
HANDLE OpenToHold(const char* path, bool noLinks) {
    HostPath hostPath(path);
    if (!hostPath.IsValid()) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (noLinks ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    HANDLE handle =
        CreateFileA(hostPath.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return handle;
    }
    BY_HANDLE_FILE_INFORMATION information;
    DWORD refusal = ERROR_SUCCESS;
    if (!GetFileInformationByHandle(handle, &information)) {
        refusal = GetLastError();
    } else if (noLinks && (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        refusal = ERROR_CANT_ACCESS_FILE;
    } else if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        refusal = ERROR_DIRECTORY;
    }
    if (refusal != ERROR_SUCCESS) {
        CloseHandle(handle);
        SetLastError(refusal);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

std::string Join(const std::string& directory, const char* name) {
    const bool separated =
        !directory.empty() && (directory.back() == '\\' || directory.back() == '/');
    return directory + (separated ? "" : "\\") + name;
}

bool UsableName(const char* name) {
    if (UnusableNameReason(name) != nullptr) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return true;
}

}  // namespace

bool HeldDirectory::Open(const char* path) {
    node.reset();
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    HANDLE handle = OpenToHold(path, false);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    node = std::make_shared<const Node>(handle, path, nullptr);
    return true;
}

bool HeldDirectory::OpenBeneath(const HeldDirectory& base, const char* relative) {
    if (!base.IsOpen() || relative == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    std::shared_ptr<const Node> at = base.node;
    bool opened = false;
    for (const char* rest = relative; *rest != '\0';) {
        const size_t length = std::strcspn(rest, "\\/");
        const std::string name(rest, length);
        rest += length;
        if (*rest != '\0') {
            ++rest;
        }
        if (name.empty() && *rest == '\0') {
            break;  // one separator at the end
        }
        if (!UsableName(name.c_str())) {
            return false;
        }
        std::string path = Join(at->path, name.c_str());
        HANDLE handle = OpenToHold(path.c_str(), true);
        if (handle == INVALID_HANDLE_VALUE) {
            return false;
        }
        at = std::make_shared<const Node>(handle, std::move(path), at);
        opened = true;
    }
    if (!opened) {
        // The same directory, held once more.
        HANDLE copy;
        if (!DuplicateHandle(GetCurrentProcess(), at->handle, GetCurrentProcess(), &copy, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            return false;
        }
        at = std::make_shared<const Node>(copy, at->path, at->parent);
    }
    node = std::move(at);
    return true;
}

bool HeldDirectory::StaysInPlace() {
    return true;
}

const std::string& HeldDirectory::Path() const {
    static const std::string none;
    return node == nullptr ? none : node->path;
}

intptr_t HeldDirectory::NativeHandle() const {
    return node == nullptr ? -1 : reinterpret_cast<intptr_t>(node->handle);
}

uint32_t HeldDirectory::Attributes(const char* name) const {
    if (node == nullptr || !UsableName(name)) {
        return INVALID_ATTRIBUTES;
    }
    const DWORD attributes = GetFileAttributesA(Join(node->path, name).c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? INVALID_ATTRIBUTES : attributes;
}

bool HeldDirectory::Identity(const char* name, vfs::FileIdentity* out) const {
    if (node == nullptr || !UsableName(name)) {
        return false;
    }
    HANDLE handle = CreateFileA(
        Join(node->path, name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    const bool known = GetFileInformationByHandle(handle, &information);
    CloseHandle(handle);
    if (known) {
        *out = vfs::FileIdentity{
            information.dwVolumeSerialNumber,
            (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
    }
    return known;
}

bool HeldDirectory::MakeDirectory(const char* name) const {
    return node != nullptr && UsableName(name) &&
           CreateDirectoryA(Join(node->path, name).c_str(), nullptr);
}

bool HeldDirectory::RemoveFile(const char* name) const {
    // The host deletes no directory, nor a link to one, as a file.
    return node != nullptr && UsableName(name) && DeleteFileA(Join(node->path, name).c_str());
}

bool HeldDirectory::Flush() const {
    return node != nullptr;
}

bool HeldDirectory::RemoveEmptyDirectory(const char* name) const {
    return node != nullptr && UsableName(name) && RemoveDirectoryA(Join(node->path, name).c_str());
}

bool HeldDirectory::SetAttributes(const char* name, uint32_t attributes) const {
    if (node == nullptr || !UsableName(name)) {
        return false;
    }
    const std::string path = Join(node->path, name);
    const DWORD current = GetFileAttributesA(path.c_str());
    if (current != INVALID_FILE_ATTRIBUTES && (current & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    return SetPathAttributes(path.c_str(), attributes);
}

bool HeldDirectory::Rename(const HeldDirectory& fromDirectory, const char* from,
                           const HeldDirectory& toDirectory, const char* to, bool replace) {
    if (fromDirectory.node == nullptr || toDirectory.node == nullptr || !UsableName(from) ||
        !UsableName(to)) {
        return false;
    }
    const std::string source = Join(fromDirectory.node->path, from);
    const std::string target = Join(toDirectory.node->path, to);
    if (!replace) {
        // Without MOVEFILE_REPLACE_EXISTING the host refuses an existing
        // target by itself, in one step.
        return MoveFileA(source.c_str(), target.c_str());
    }
    const DWORD existing = GetFileAttributesA(target.c_str());
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace vfs::host
