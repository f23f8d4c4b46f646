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

intptr_t FileMapping::OpenMapping(const File& file, uint64_t* fileSize) {
    HANDLE fileHandle = AsHandle(file.handle);
    DWORD high = 0;
    DWORD low = GetFileSize(fileHandle, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        return INVALID_HANDLE;
    }
    const uint64_t bytes = (static_cast<uint64_t>(high) << 32) | low;
    if (bytes == 0) {
        return INVALID_HANDLE;
    }
    // The mapping is given the size just read rather than whatever the file
    // holds by the time it is made, and keeps the file open by itself.
    HANDLE mapping = CreateFileMappingA(fileHandle, nullptr, PAGE_READONLY, high, low, nullptr);
    if (mapping == nullptr) {
        return INVALID_HANDLE;
    }
    *fileSize = bytes;
    return reinterpret_cast<intptr_t>(mapping);
}

void* FileMapping::MapRange(intptr_t mapping, uint64_t offset, uint64_t length) {
    return MapViewOfFile(AsHandle(mapping), FILE_MAP_READ, static_cast<DWORD>(offset >> 32),
                         static_cast<DWORD>(offset), static_cast<SIZE_T>(length));
}

void FileMapping::UnmapRange(uintptr_t base, uint64_t /*length*/) {
    UnmapViewOfFile(reinterpret_cast<const void*>(base));
}

void FileMapping::CloseMapping(intptr_t mapping) {
    CloseHandle(AsHandle(mapping));
}

}  // namespace vfs::host
