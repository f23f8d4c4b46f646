// The open-flags word of FileSystem::OpenFile and the host back-ends.
#pragma once

#include <cstdint>

namespace vfs {

inline constexpr uint32_t OPEN_READ = 0x80000000u;
inline constexpr uint32_t OPEN_WRITE = 0x40000000u;
inline constexpr uint32_t OPEN_SHARE_READ = 0x00000001u;
inline constexpr uint32_t OPEN_SHARE_WRITE = 0x00000002u;
// Create the file; without the next two bits an existing file is replaced by
// an empty one. Without OPEN_CREATE the file must exist.
inline constexpr uint32_t OPEN_CREATE = 0x00000010u;
// With OPEN_CREATE: an existing file is opened unchanged, a missing one made.
inline constexpr uint32_t OPEN_CREATE_KEEP = 0x00000020u;
// With OPEN_CREATE and without OPEN_CREATE_KEEP: fail if the file exists.
inline constexpr uint32_t OPEN_CREATE_NEW = 0x00000040u;
// Read through the buffered, read-only back-end instead of the plain one.
inline constexpr uint32_t OPEN_BUFFERED = 0x00008000u;

}  // namespace vfs
