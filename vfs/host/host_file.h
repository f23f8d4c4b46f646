// Host files: open with access, share and creation rules, then read, write,
// seek and size them.
#pragma once

#include <cstdint>

#include "vfs/host/file_identity.h"

namespace vfs::host {

class HeldDirectory;

// Desired access (the same bits as the library's open flags).
inline constexpr uint32_t ACCESS_READ = 0x80000000u;
inline constexpr uint32_t ACCESS_WRITE = 0x40000000u;
// Share mode: what other opens of the same file may do while this one lasts.
inline constexpr uint32_t SHARE_READ = 0x1u;
inline constexpr uint32_t SHARE_WRITE = 0x2u;

// What to do when the file exists and when it does not.
enum class Disposition : uint32_t {
    CreateNew = 1,     // create; fail if it exists
    CreateAlways = 2,  // create, or empty an existing file
    OpenExisting = 3,  // open; fail if it is missing
    OpenAlways = 4,    // open, or create a missing one
};

enum class Origin : int32_t {
    Start = 0,
    Current = 1,
    End = 2,
};

// One open host file with a file position. Positions and sizes are signed
// 64-bit: a move that would leave the position below 0 fails and leaves it
// where it was. Opens of one file within the process obey each other's share
// modes: an open fails when it wants an access that an earlier open does not
// share, or when it does not share an access that an earlier open holds.
// Only regular files open: a directory, a FIFO, a device or a socket does
// not (and opening a FIFO does not wait for its other end).
class File {
  public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    // Closes what the object held, then opens `path` (a library host path,
    // see HostPath). On failure the object holds nothing.
    bool Open(const char* path, uint32_t access, uint32_t share, Disposition disposition);
    // The same for the file `name` (one component) of the held `directory`,
    // never through a symbolic link (or reparse point) of that name: a link
    // there is refused, and CreateNew fails on it as on a file.
    bool OpenIn(const HeldDirectory& directory, const char* name, uint32_t access, uint32_t share,
                Disposition disposition);
    // Closes what the object held, then creates a file that has no name yet
    // in the held `directory`, open for reading and writing, for LinkIn to
    // name once it is complete; closed before, it is gone. On POSIX it has
    // no name at all (O_TMPFILE), and nobody else can open it meanwhile, so
    // it takes no part in the share rules; False where the directory's file
    // system cannot make such files. On Windows it is made under the name
    // `provisional` (failing when anything has that name), opened without
    // sharing, and deleted by its handle when closed unnamed.
    bool CreateUnnamedIn(const HeldDirectory& directory, const char* provisional);
    // Gives the file made by CreateUnnamedIn the name `name` (one component)
    // in `directory`, the directory it was made in, while it stays open.
    // Never replaces anything: false when anything has that name already.
    bool LinkIn(const HeldDirectory& directory, const char* name);
    bool IsOpen() const { return handle != INVALID_HANDLE; }
    // Move up to `count` bytes at the file position, which advances by the
    // bytes moved; `*done` receives their number (0 at the end of the file).
    // False when a host error (or an access the file was not opened with)
    // stopped the transfer; `*done` still counts what moved before it.
    bool Read(void* buffer, uint32_t count, uint32_t* done);
    bool Write(const void* buffer, uint32_t count, uint32_t* done);
    // Reads up to `count` bytes at `offset` without using or moving the
    // file position, so that threads may read one file at once without a
    // lock. False, with nothing read, where the host cannot: Windows moves
    // the position of a file opened for plain reads even then, which would
    // pull it from under a reader that holds the lock.
    bool ReadAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* done);
    // Whether ReadAt works on this host.
    static bool HasPositionedReads();
    // Whether closing a file just written takes long enough that a copy of
    // many files should close them on a thread of their own: on Windows a
    // close waits for whatever watches the file system (a virus scanner
    // looks at each new file), milliseconds a file.
    static bool ClosingTakesLong();
    // The new position, or -1 (position unchanged).
    int64_t Seek(int64_t offset, Origin origin);
    // The size in bytes, or -1 when it cannot be had.
    int64_t GetSize();
    // Who the open file is; false when the host cannot say.
    bool Identity(FileIdentity* out) const;
    // Writes what the host still holds in its caches to the device; fails on
    // a file not opened for writing.
    bool Flush();
    void Close();

  private:
    friend class FileMapping;
    // What Open and OpenIn share: the host's open of `path`, relative to
    // `directory` (a host handle, or none), with `noLinks` never through a
    // link of the last component.
    bool OpenHost(intptr_t directory, const char* path, uint32_t access, uint32_t share,
                  Disposition disposition, bool noLinks);
    static constexpr intptr_t INVALID_HANDLE = -1;

    intptr_t handle = INVALID_HANDLE;
    uint32_t access = 0;
    // Made by CreateUnnamedIn under a provisional name, not named since
    // (Windows): Close deletes it.
    bool provisional = false;
};

}  // namespace vfs::host
