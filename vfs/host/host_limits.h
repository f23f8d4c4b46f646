// Limits of the host that the library's fixed-size buffers follow.
#pragma once

#include <cstdint>

namespace vfs {

// Size in bytes of every path buffer in the library, NUL included: the
// host's own maximum path length.
#if defined(_WIN32)
inline constexpr uint32_t HOST_MAX_PATH = 260;
#else
inline constexpr uint32_t HOST_MAX_PATH = 4096;
#endif

}  // namespace vfs
