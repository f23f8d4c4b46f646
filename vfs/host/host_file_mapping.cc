#include "vfs/host/host_file_mapping.h"

#include <cstdint>

namespace vfs::host {

FileMapping::~FileMapping() {
    Close();
}

bool FileMapping::Create(const File& file) {
    Close();
    if (!file.IsOpen() || (file.access & ACCESS_READ) == 0) {
        return false;
    }
    uint64_t fileSize = 0;
    const intptr_t mapping = OpenMapping(file, &fileSize);
    if (mapping == INVALID_HANDLE) {
        return false;
    }
    handle = mapping;
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
    // Pages past the end of the mapping would fault when read.
    if (length > size - offset || length > SIZE_MAX) {
        return nullptr;
    }
    void* view = MapRange(handle, offset, length);
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
    UnmapRange(views[i].base, views[i].length);
    views.erase(views.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

void FileMapping::Close() {
    for (const View& view : views) {
        UnmapRange(view.base, view.length);
    }
    views.clear();
    if (IsOpen()) {
        CloseMapping(handle);
        handle = INVALID_HANDLE;
    }
    size = 0;
}

}  // namespace vfs::host
