#include "vfs/host/host_file_mapping.h"

#include "vfs/host/windows_api.h"

#include <cstdint>

namespace vfs::host {

namespace {

HANDLE AsHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

uint32_t GetAllocationGranularity() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwAllocationGranularity != 0 ? info.dwAllocationGranularity : 65536u;
}

FileMapping::~FileMapping() {
    Close();
}

bool FileMapping::Create(const File& file) {
    Close();
    if (!file.IsOpen() || (file.access & ACCESS_READ) == 0) {
        return false;
    }
    HANDLE fileHandle = AsHandle(file.handle);
    DWORD high = 0;
    DWORD low = GetFileSize(fileHandle, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        return false;
    }
    uint64_t fileSize = (static_cast<uint64_t>(high) << 32) | low;
    if (fileSize == 0) {
        return false;
    }
    // The mapping is given the size just read rather than whatever the file
    // holds by the time it is made, and keeps the file open by itself.
    HANDLE mapping = CreateFileMappingA(fileHandle, nullptr, PAGE_READONLY, high, low, nullptr);
    if (mapping == nullptr) {
        return false;
    }
    handle = reinterpret_cast<intptr_t>(mapping);
    size = fileSize;
    return true;
}

const void* FileMapping::MapView(uint64_t offset, uint64_t length) {
    if (!IsOpen() || offset >= size || offset % GetAllocationGranularity() != 0) {
        return nullptr;
    }
    if (length == 0) {
        length = size - offset;
    }
    if (length > size - offset || length > SIZE_MAX) {
        return nullptr;
    }
    void* view = MapViewOfFile(AsHandle(handle), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                               static_cast<DWORD>(offset), static_cast<SIZE_T>(length));
    if (view == nullptr) {
        return nullptr;
    }
    views.push_back(View{reinterpret_cast<uintptr_t>(view), length});
    return view;
}

size_t FileMapping::FindView(const void* pointer) const {
    uintptr_t address = reinterpret_cast<uintptr_t>(pointer);
    for (size_t i = 0; i < views.size(); ++i) {
        if (address >= views[i].base && address - views[i].base < views[i].length) {
            return i;
        }
    }
    return views.size();
}

const void* FileMapping::ViewContaining(const void* pointer) const {
    size_t i = FindView(pointer);
    return i == views.size() ? nullptr : reinterpret_cast<const void*>(views[i].base);
}

bool FileMapping::UnmapView(const void* pointer) {
    size_t i = FindView(pointer);
    if (i == views.size()) {
        return false;
    }
    UnmapViewOfFile(reinterpret_cast<const void*>(views[i].base));
    views.erase(views.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

void FileMapping::Close() {
    for (const View& view : views) {
        UnmapViewOfFile(reinterpret_cast<const void*>(view.base));
    }
    views.clear();
    if (IsOpen()) {
        CloseHandle(AsHandle(handle));
        handle = INVALID_HANDLE;
    }
    size = 0;
}

}  // namespace vfs::host
