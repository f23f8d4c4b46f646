// Attributes and changes of entries in host directories.
#pragma once

#include <cstdint>

namespace vfs::host {

// Attribute bits, as the library's FindData and SetAttributes carry them.
inline constexpr uint32_t ATTRIBUTE_READONLY = 0x1u;
inline constexpr uint32_t ATTRIBUTE_DIRECTORY = 0x10u;
// Neither a directory nor a regular file: a FIFO, a device or a socket.
inline constexpr uint32_t ATTRIBUTE_DEVICE = 0x40u;
// A symbolic link (with the attributes of what it leads to, if anything).
inline constexpr uint32_t ATTRIBUTE_REPARSE_POINT = 0x400u;
// Reported alone, when no other bit applies.
inline constexpr uint32_t ATTRIBUTE_NORMAL = 0x80u;
inline constexpr uint32_t INVALID_ATTRIBUTES = 0xFFFFFFFFu;

// Every path below is a library host path (see HostPath); a null path or one
// too long for the host fails.

// The attributes of the file or directory at `path`, or INVALID_ATTRIBUTES
// when there is none. A symbolic link as the last component answers with the
// reparse-point bit and the attributes of what it points to.
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
// Renames the file `from` to `to` within one directory, replacing at once
// what `to` names if it is a file or a symbolic link (the link itself, never
// what it leads to); fails on a directory at `to`.
bool ReplacePath(const char* from, const char* to);

}  // namespace vfs::host
