// Attributes and changes of entries in host directories.
#pragma once

#include <cstdint>

namespace vfs::host {

// Attribute bits, as the library's FindData and SetAttributes carry them.
inline constexpr uint32_t ATTRIBUTE_READONLY = 0x1u;
inline constexpr uint32_t ATTRIBUTE_DIRECTORY = 0x10u;
// Reported alone, when no other bit applies.
inline constexpr uint32_t ATTRIBUTE_NORMAL = 0x80u;
inline constexpr uint32_t INVALID_ATTRIBUTES = 0xFFFFFFFFu;

// Every path below is a library host path (see HostPath); a null path or one
// too long for the host fails.

// The attributes of the file or directory at `path` (a symbolic link answers
// for what it points to), or INVALID_ATTRIBUTES when there is none.
uint32_t GetPathAttributes(const char* path);
// Applies the read-only bit: set, it takes away every write permission; clear,
// it gives the owner write permission back. Other bits are ignored. Fails when
// nothing is at `path`.
bool SetPathAttributes(const char* path, uint32_t attributes);
// Creates the last component of `path` as a directory; fails when anything
// already has that name or its parent is missing.
bool MakeDirectory(const char* path);
// Removes an empty directory.
bool RemoveEmptyDirectory(const char* path);
// Deletes a file (never a directory).
bool RemoveFile(const char* path);
// Moves or renames a file or directory within one volume; fails when
// something already exists at `to`.
bool MovePath(const char* from, const char* to);

}  // namespace vfs::host
