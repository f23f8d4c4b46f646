// WadPathHash: the 32-bit hash every archive record stores for its path.
#pragma once

#include <cstdint>

namespace vfs {

// Hash of `length` bytes of `path` (a full path inside the archive, "\"
// separators, no leading or trailing separator). Letters a-z count as A-Z,
// so paths that differ only in case hash alike. Each complete group of four
// bytes x0 x1 x2 x3 adds x0 + 2*x1 + 4*x2 + 8*x3 with the bytes taken as
// signed values; each of the last length % 4 bytes adds its unsigned value.
uint32_t WadPathHash(const char* path, uint32_t length);

// The same for a NUL-terminated path.
uint32_t WadPathHash(const char* path);

}  // namespace vfs
