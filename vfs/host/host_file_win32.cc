#include "vfs/host/host_file.h"

#include "vfs/host/windows_api.h"

#include <climits>
#include <string>
#include <vector>

#include "vfs/host/held_directory.h"
#include "vfs/host/host_names.h"
#include "vfs/host/host_path.h"

namespace vfs::host {

namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// The path of `name` in the directory at `base`.
std::string JoinName(const std::string& base, const char* name) {
    const bool separated = !base.empty() && (base.back() == '\\' || base.back() == '/');
    return base + (separated ? "" : "\\") + name;
}

DWORD DesiredAccessFor(uint32_t access) {
    DWORD desired = 0;
    if ((access & ACCESS_READ) != 0) {
        desired |= GENERIC_READ;
    }
    if ((access & ACCESS_WRITE) != 0) {
        desired |= GENERIC_WRITE;
    }
    return desired;
}

// The host enforces share modes between opens by itself.
DWORD ShareModeFor(uint32_t share) {
    DWORD mode = 0;
    if ((share & SHARE_READ) != 0) {
        mode |= FILE_SHARE_READ;
    }
    if ((share & SHARE_WRITE) != 0) {
        mode |= FILE_SHARE_WRITE;
    }
    return mode;
}

// False for a disposition the library does not know.
bool CreationFor(Disposition disposition, DWORD* creation) {
    switch (disposition) {
        case Disposition::CreateNew:
            *creation = CREATE_NEW;
            return true;
        case Disposition::CreateAlways:
            *creation = CREATE_ALWAYS;
            return true;
        case Disposition::OpenExisting:
            *creation = OPEN_EXISTING;
            return true;
        case Disposition::OpenAlways:
            *creation = OPEN_ALWAYS;
            return true;
    }
    return false;
}

// The 64-bit file position, or -1.
int64_t CurrentPosition(HANDLE handle) {
    LARGE_INTEGER none = {};
    LARGE_INTEGER position = {};
    if (!SetFilePointerEx(handle, none, &position, FILE_CURRENT)) {
        return -1;
    }
    return position.QuadPart;
}

// The 64-bit file size, or -1.
int64_t FullSize(HANDLE handle) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(handle, &size)) {
        return -1;
    }
    return size.QuadPart;
}

}  // namespace

File::~File() {
    Close();
}

bool File::Open(const char* path, uint32_t desiredAccess, uint32_t share, Disposition disposition) {
    Close();
    return OpenHost(-1, path, desiredAccess, share, disposition, false);
}

bool File::OpenIn(const HeldDirectory& directory, const char* name, uint32_t desiredAccess,
                  uint32_t share, Disposition disposition) {
    Close();
    if (!directory.IsOpen() || UnusableNameReason(name) != nullptr) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    // The directory and every one above it are held: its path leads there.
    return OpenHost(directory.NativeHandle(), JoinName(directory.Path(), name).c_str(),
                    desiredAccess, share, disposition, true);
}

bool File::CreateUnnamedIn(const HeldDirectory& directory, const char* provisionalName) {
    Close();
    if (!directory.IsOpen() || UnusableNameReason(provisionalName) != nullptr) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    HostPath hostPath(JoinName(directory.Path(), provisionalName).c_str());
    if (!hostPath.IsValid()) {
        return false;
    }
    // DELETE: it is renamed, or deleted, by this handle.
    HANDLE opened = CreateFileA(hostPath.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return false;
    }
    if (GetFileType(opened) != FILE_TYPE_DISK) {
        CloseHandle(opened);
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    handle = reinterpret_cast<intptr_t>(opened);
    access = ACCESS_READ | ACCESS_WRITE;
    provisional = true;
    return true;
}

bool File::LinkIn(const HeldDirectory& directory, const char* name) {
    if (!IsOpen() || !provisional || !directory.IsOpen() || UnusableNameReason(name) != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    // The directory and every one above it are held: its path leads there.
    HostPath hostPath(JoinName(directory.Path(), name).c_str());
    if (!hostPath.IsValid()) {
        return false;
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, hostPath.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    std::vector<unsigned char> block(sizeof(FILE_RENAME_INFO) + length * sizeof(WCHAR));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>((length - 1) * sizeof(WCHAR));
    MultiByteToWideChar(CP_ACP, 0, hostPath.c_str(), -1, rename->FileName, length);
    if (!SetFileInformationByHandle(reinterpret_cast<HANDLE>(handle), FileRenameInfo, rename,
                                    static_cast<DWORD>(block.size()))) {
        return false;
    }
    provisional = false;
    return true;
}

bool File::OpenHost(intptr_t /*directory*/, const char* path, uint32_t desiredAccess,
                    uint32_t share, Disposition disposition, bool noLinks) {
    HostPath hostPath(path);
    DWORD creation = 0;
    if (!hostPath.IsValid() || !CreationFor(disposition, &creation)) {
        return false;
    }
    // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open. With
    // FILE_FLAG_OPEN_REPARSE_POINT a link opens as itself, and is refused
    // below.
    HANDLE opened = CreateFileA(
        hostPath.c_str(), DesiredAccessFor(desiredAccess), ShareModeFor(share), nullptr, creation,
        FILE_ATTRIBUTE_NORMAL | (noLinks ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return false;
    }
    // Only files on a disk are files here: not NUL, CON, a serial port or a
    // pipe, whose reads and writes would not be a file's.
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(opened) != FILE_TYPE_DISK ||
        (noLinks && (!GetFileInformationByHandle(opened, &information) ||
                     (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0))) {
        CloseHandle(opened);
        SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    handle = reinterpret_cast<intptr_t>(opened);
    access = desiredAccess & (ACCESS_READ | ACCESS_WRITE);
    return true;
}

bool File::HasPositionedReads() {
    return false;
}

bool File::ClosingTakesLong() {
    return true;
}

bool File::ReadAt(uint64_t /*offset*/, void* /*buffer*/, uint32_t /*count*/, uint32_t* done) {
    *done = 0;
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

bool File::Read(void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (!IsOpen() || (access & ACCESS_READ) == 0) {
        return false;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (*done < count) {
        DWORD moved = 0;
        if (!ReadFile(AsHandle(handle), bytes + *done, count - *done, &moved, nullptr)) {
            return false;
        }
        if (moved == 0) {
            break;  // the end of the file
        }
        *done += moved;
    }
    return true;
}

bool File::Write(const void* buffer, uint32_t count, uint32_t* done) {
    *done = 0;
    if (!IsOpen() || (access & ACCESS_WRITE) == 0) {
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    while (*done < count) {
        DWORD moved = 0;
        if (!WriteFile(AsHandle(handle), bytes + *done, count - *done, &moved, nullptr) ||
            moved == 0) {
            return false;
        }
        *done += moved;
    }
    return true;
}

int64_t File::Seek(int64_t offset, Origin origin) {
    if (!IsOpen()) {
        return -1;
    }
    HANDLE file = AsHandle(handle);
    int64_t base;
    switch (origin) {
        case Origin::Start:
            base = 0;
            break;
        case Origin::Current:
            base = CurrentPosition(file);
            break;
        case Origin::End:
            base = FullSize(file);
            break;
        default:
            return -1;
    }
    if (base < 0) {
        return -1;
    }
    // The position is only moved once the target is known to be in range.
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) {
        return -1;
    }
    LARGE_INTEGER wanted = {};
    wanted.QuadPart = target;
    LARGE_INTEGER reached = {};
    if (!SetFilePointerEx(file, wanted, &reached, FILE_BEGIN) || reached.QuadPart != target) {
        return -1;
    }
    return target;
}

int64_t File::GetSize() {
    return IsOpen() ? FullSize(AsHandle(handle)) : -1;
}

bool File::Identity(FileIdentity* out) const {
    BY_HANDLE_FILE_INFORMATION information;
    if (!IsOpen() || !GetFileInformationByHandle(AsHandle(handle), &information)) {
        return false;
    }
    *out = FileIdentity{
        information.dwVolumeSerialNumber,
        (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
    return true;
}

bool File::Flush() {
    return IsOpen() && (access & ACCESS_WRITE) != 0 && FlushFileBuffers(AsHandle(handle));
}

void File::Close() {
    if (!IsOpen()) {
        return;
    }
    if (provisional) {
        // Never named: it goes with its handle.
        FILE_DISPOSITION_INFO disposition{};
        disposition.DeleteFile = TRUE;
        SetFileInformationByHandle(AsHandle(handle), FileDispositionInfo, &disposition,
                                   sizeof(disposition));
        provisional = false;
    }
    CloseHandle(AsHandle(handle));
    handle = INVALID_HANDLE;
    access = 0;
}

}  // namespace vfs::host
