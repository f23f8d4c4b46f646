// Whole reads and writes at an offset of an open host file, with the
// library's reason for a failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vfs/core/result.h"
#include "vfs/host/host_file.h"

namespace vfs {

// Reads exactly `size` bytes at `offset`; -1 with the reason ("cannot be
// read" and the host's words, or the file ending first) otherwise.
Result ReadFileAt(host::File& file, uint64_t offset, void* into, size_t size);
// Reads up to `size` bytes at `offset`, fewer only at the end of the file:
// the count, or -1 with the reason.
int64_t ReadFileUpTo(host::File& file, uint64_t offset, void* into, size_t size);
// Writes exactly `size` bytes at `offset`; -1 with the reason otherwise.
Result WriteFileAt(host::File& file, uint64_t offset, const void* bytes, size_t size);
// Writes what the host holds of the file to the device; -1 with the reason.
Result FlushFile(host::File& file);

}  // namespace vfs
