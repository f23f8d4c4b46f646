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

intptr_t FileMapping::OpenMapping(const File& file, uint64_t* fileSize) {
    // The mapping keeps a descriptor of its own, as a host mapping object
    // keeps its file.
    int fd = fcntl(static_cast<int>(file.handle), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return INVALID_HANDLE;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || status.st_size <= 0) {
        ::close(fd);
        return INVALID_HANDLE;
    }
    *fileSize = static_cast<uint64_t>(status.st_size);
    return fd;
}

void* FileMapping::MapRange(intptr_t mapping, uint64_t offset, uint64_t length) {
    void* view = mmap(nullptr, length, PROT_READ, MAP_SHARED, static_cast<int>(mapping),
                      static_cast<off_t>(offset));
    return view == MAP_FAILED ? nullptr : view;
}

void FileMapping::UnmapRange(uintptr_t base, uint64_t length) {
    munmap(reinterpret_cast<void*>(base), length);
}

void FileMapping::CloseMapping(intptr_t mapping) {
    ::close(static_cast<int>(mapping));
}

}  // namespace vfs::host
