#include "vfs/stream/win32_file_stream.h"

#include "vfs/core/open_flags.h"
#include "vfs/core/path_resolution.h"
#include "vfs/host/host_limits.h"

namespace vfs {

namespace {

host::Disposition DispositionFor(uint32_t flags) {
    if ((flags & OPEN_CREATE) == 0) {
        return host::Disposition::OpenExisting;
    }
    if ((flags & OPEN_CREATE_KEEP) != 0) {
        return host::Disposition::OpenAlways;
    }
    if ((flags & OPEN_CREATE_NEW) != 0) {
        return host::Disposition::CreateNew;
    }
    return host::Disposition::CreateAlways;
}

}  // namespace

Result Win32FileStream::Open(const char* path, uint32_t flags) {
    Close();
    char fullPath[HOST_MAX_PATH];
    if (ResolvePath(fullPath, sizeof(fullPath), path).Failed()) {
        return Result::Fail();
    }
    if (!file.Open(fullPath, flags & (OPEN_READ | OPEN_WRITE),
                   flags & (OPEN_SHARE_READ | OPEN_SHARE_WRITE), DispositionFor(flags))) {
        return Result::Fail();
    }
    position = 0;
    return Result::Ok();
}

Result Win32FileStream::OpenIn(const host::HeldDirectory& directory, const char* name,
                               uint32_t flags) {
    Close();
    if (!file.OpenIn(directory, name, flags & (OPEN_READ | OPEN_WRITE),
                     flags & (OPEN_SHARE_READ | OPEN_SHARE_WRITE), DispositionFor(flags))) {
        return Result::Fail();
    }
    position = 0;
    return Result::Ok();
}

Result Win32FileStream::CreateUnnamedIn(const host::HeldDirectory& directory,
                                        const char* provisional) {
    Close();
    if (!file.CreateUnnamedIn(directory, provisional)) {
        return Result::Fail();
    }
    position = 0;
    return Result::Ok();
}

Result Win32FileStream::LinkIn(const host::HeldDirectory& directory, const char* name) {
    return file.LinkIn(directory, name) ? Result::Ok() : Result::Fail();
}

Result Win32FileStream::GetIdentity(FileIdentity* out) const {
    return out != nullptr && file.Identity(out) ? Result::Ok() : Result::Fail();
}

int32_t Win32FileStream::Read(void* buffer, int32_t count) {
    if (count <= 0 || buffer == nullptr) {
        return 0;
    }
    uint32_t done = 0;
    file.Read(buffer, static_cast<uint32_t>(count), &done);
    // Bytes that moved before a host error still moved the file position.
    position += done;
    return static_cast<int32_t>(done);
}

int32_t Win32FileStream::ReadAt(int64_t offset, void* buffer, int32_t count) {
    if (!host::File::HasPositionedReads()) {
        return kNoPositionedReads;
    }
    if (offset < 0) {
        return -1;
    }
    if (count <= 0 || buffer == nullptr) {
        return 0;
    }
    uint32_t done = 0;
    bool ok =
        file.ReadAt(static_cast<uint64_t>(offset), buffer, static_cast<uint32_t>(count), &done);
    return ok || done > 0 ? static_cast<int32_t>(done) : -1;
}

int32_t Win32FileStream::Write(const void* buffer, int32_t count) {
    if (count <= 0 || buffer == nullptr) {
        return 0;
    }
    uint32_t done = 0;
    file.Write(buffer, static_cast<uint32_t>(count), &done);
    position += done;
    return static_cast<int32_t>(done);
}

int32_t Win32FileStream::Seek(int32_t offset, int32_t origin) {
    return SeekWithin32Bits(offset, origin);
}

int64_t Win32FileStream::Seek64(int64_t offset, int32_t origin) {
    if (origin < SEEK_FROM_START || origin > SEEK_FROM_END) {
        return -1;
    }
    int64_t target = file.Seek(offset, static_cast<host::Origin>(origin));
    if (target < 0) {
        return -1;
    }
    position = target;
    return position;
}

int32_t Win32FileStream::GetSize() {
    return Within32Bits(file.GetSize());
}

int64_t Win32FileStream::GetSize64() {
    return file.GetSize();
}

int32_t Win32FileStream::Tell() {
    return Within32Bits(position);
}

int64_t Win32FileStream::Tell64() {
    return position;
}

const void* Win32FileStream::Map(int32_t offset, int32_t length) {
    std::lock_guard<std::mutex> guard(mappingMutex);
    if (!file.IsOpen()) {
        return nullptr;
    }
    if (!mapping.IsOpen() && !mapping.Create(file)) {
        return nullptr;
    }
    if (offset == 0 && length == 0) {
        if (wholeView == nullptr) {
            wholeView = mapping.MapView(0, 0);
        }
        return wholeView;
    }
    // A stretch that does not lie within the file has no pointer.
    int64_t size = file.GetSize();
    if (offset < 0 || length < 0 || size < 0 || offset > size || length > size - offset) {
        return nullptr;
    }
    // A view begins at a multiple of the granularity; one for a stretch near
    // the start covers the whole file from its start.
    int64_t granularity = host::GetAllocationGranularity();
    int64_t base = 0;
    int64_t viewSize = 0;
    if (offset > granularity) {
        base = offset / granularity * granularity;
        viewSize = offset - base + length;
    }
    const void* view =
        mapping.MapView(static_cast<uint64_t>(base), static_cast<uint64_t>(viewSize));
    if (view == nullptr) {
        return nullptr;
    }
    return static_cast<const unsigned char*>(view) + (offset - base);
}

void Win32FileStream::Unmap(const void* pointer) {
    std::lock_guard<std::mutex> guard(mappingMutex);
    if (!mapping.IsOpen() || pointer == nullptr) {
        return;
    }
    // The whole-file view is shared by every Map(0, 0) and lives until Close.
    if (wholeView != nullptr && mapping.ViewContaining(pointer) == wholeView) {
        return;
    }
    mapping.UnmapView(pointer);
}

Result Win32FileStream::Flush() {
    return file.IsOpen() && file.Flush() ? Result::Ok() : Result::Fail();
}

void Win32FileStream::Close() {
    {
        std::lock_guard<std::mutex> guard(mappingMutex);
        mapping.Close();
        wholeView = nullptr;
    }
    file.Close();
}

void Win32FileStream::Attach(Stream* stream) {
    if (stream != nullptr) {
        stream->Release();
    }
}

Semaphore* Win32FileStream::GetLock() {
    return &lock;
}

}  // namespace vfs
