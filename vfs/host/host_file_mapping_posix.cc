#include "vfs/host/host_file_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

namespace vfs::host {

uint32_t GetAllocationGranularity() {
    long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<uint32_t>(page) : 4096u;
}

FileMapping::~FileMapping() {
    Close();
}

bool FileMapping::Create(const File& file) {
    Close();
    if (!file.IsOpen() || (file.access & ACCESS_READ) == 0) {
        return false;
    }
    // The mapping keeps a descriptor of its own, as a host mapping object
    // keeps its file.
    int fd = fcntl(static_cast<int>(file.handle), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || status.st_size <= 0) {
        ::close(fd);
        return false;
    }
    handle = fd;
    size = static_cast<uint64_t>(status.st_size);
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
    void* view = mmap(nullptr, length, PROT_READ, MAP_SHARED, static_cast<int>(handle),
                      static_cast<off_t>(offset));
    if (view == MAP_FAILED) {
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
    munmap(reinterpret_cast<void*>(views[i].base), views[i].length);
    views.erase(views.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

void FileMapping::Close() {
    for (const View& view : views) {
        munmap(reinterpret_cast<void*>(view.base), view.length);
    }
    views.clear();
    if (IsOpen()) {
        ::close(static_cast<int>(handle));
        handle = INVALID_HANDLE;
    }
    size = 0;
}

}  // namespace vfs::host
