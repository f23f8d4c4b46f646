// Read-only views of a host file in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vfs/host/host_file.h"

namespace vfs::host {

// The granularity at which a view of a file may begin: every view's file
// offset is a multiple of it.
uint32_t GetAllocationGranularity();

// A read-only mapping of one open file, sized to the file as it was when the
// mapping was created; views of it are taken and given back one by one. An
// empty file, or one not opened for reading, cannot be mapped. Views must be
// given back before the mapping is closed; Close unmaps any that are left.
// Not synchronised: one thread at a time.
class FileMapping {
  public:
    FileMapping() = default;
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;
    ~FileMapping();

    bool Create(const File& file);
    bool IsOpen() const { return handle != INVALID_HANDLE; }
    // A view of `size` bytes from `offset` (a multiple of the allocation
    // granularity); a size of 0 maps from `offset` to the end of the mapping.
    // Null when the stretch does not lie within the mapping or the host
    // refuses it.
    const void* MapView(uint64_t offset, uint64_t size);
    // Unmaps the view that contains `pointer` (anywhere inside it). False when
    // no view of this mapping contains it.
    bool UnmapView(const void* pointer);
    // The start of the view that contains `pointer`, or null.
    const void* ViewContaining(const void* pointer) const;
    void Close();

  private:
    struct View {
        uintptr_t base;
        uint64_t length;
    };
    static constexpr intptr_t INVALID_HANDLE = -1;

    size_t FindView(const void* pointer) const;

    // The host's calls, one file per platform; the bookkeeping around them
    // is the same everywhere. OpenMapping gives a handle of the host's own
    // on the whole of `file` (open for reading) and the file's size, or
    // INVALID_HANDLE when the host refuses it or the file is empty.
    static intptr_t OpenMapping(const File& file, uint64_t* fileSize);
    // Maps `length` bytes from `offset`, both within the mapping; null when
    // the host refuses.
    static void* MapRange(intptr_t mapping, uint64_t offset, uint64_t length);
    static void UnmapRange(uintptr_t base, uint64_t length);
    static void CloseMapping(intptr_t mapping);

    intptr_t handle = INVALID_HANDLE;
    uint64_t size = 0;
    std::vector<View> views;
};

}  // namespace vfs::host
