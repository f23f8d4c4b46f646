// Random bytes from the host, for keys that must differ from one process
// to the next.
#pragma once

#include <cstddef>

namespace vfs::host {

// Fills the `length` bytes at `buffer` from the host's source of
// cryptographically random bytes. False, the bytes unspecified, when the
// host gives none.
bool FillRandomBytes(void* buffer, size_t length);

}  // namespace vfs::host
