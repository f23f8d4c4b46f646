// Win32FileStream: the plain host file back-end, with read-only mapping.
#pragma once

#include <cstdint>
#include <mutex>

#include "vfs/core/result.h"
#include "vfs/core/semaphore.h"
#include "vfs/core/stream.h"
#include "vfs/host/host_file.h"
#include "vfs/host/host_file_mapping.h"

namespace vfs {

// A host file at the bottom of a stream stack. It never takes its own lock:
// callers that share it between readers hold GetLock() around each
// positioned operation. Map and Unmap need no lock from callers: they keep
// the mapping's book under a mutex of their own. Positions are signed 64-bit
// and never go negative; the 32-bit slots answer -1 beyond INT32_MAX.
class Win32FileStream : public Stream {
  public:
    Win32FileStream() = default;

    // Opens the host file `path` (made absolute with ResolvePath) with the
    // access, share and creation bits of the open-flags word:
    //  - OPEN_READ, OPEN_WRITE: the access; OPEN_SHARE_READ, OPEN_SHARE_WRITE:
    //    what other opens may do meanwhile;
    //  - without OPEN_CREATE the file must exist; with it, OPEN_CREATE_KEEP
    //    opens or creates, else OPEN_CREATE_NEW creates only a missing file,
    //    else the file is created or emptied.
    // Drops whatever the stream held first.
    Result Open(const char* path, uint32_t flags);
    // The same for the file `name` (one component) of the held `directory`,
    // never through a symbolic link of that name (see host::File::OpenIn).
    Result OpenIn(const host::HeldDirectory& directory, const char* name, uint32_t flags);
    // A new file without a name in `directory`, for reading and writing,
    // and the name it takes once complete (see host::File::CreateUnnamedIn
    // and LinkIn).
    Result CreateUnnamedIn(const host::HeldDirectory& directory, const char* provisional);
    Result LinkIn(const host::HeldDirectory& directory, const char* name);
    // Who the open file is; -1 when the host cannot say.
    Result GetIdentity(FileIdentity* out) const;

    // Bytes moved; 0 when nothing could be moved.
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    // The new position, or -1; a failed seek leaves the position as it was.
    int32_t Seek(int32_t offset, int32_t origin) override;
    // -1 when the size cannot be had or is beyond 32-bit positions.
    int32_t GetSize() override;
    int32_t Tell() override;
    int64_t Seek64(int64_t offset, int32_t origin) override;
    // -1 when the size cannot be had.
    int64_t GetSize64() override;
    int64_t Tell64() override;
    // Map(0, 0): the whole file, the same view every time until Close.
    // Otherwise that stretch, which must lie within the file, in a view of
    // its own that the caller gives back with Unmap.
    const void* Map(int32_t offset, int32_t length) override;
    // Gives back a view from Map(offset, length); the whole-file view stays
    // until Close.
    void Unmap(const void* pointer) override;
    Result Flush() override;
    void Close() override;
    // A back-end is always the bottom of its stack: it takes nothing beneath
    // it, and lets go of the reference it is handed.
    void Attach(Stream* stream) override;
    Semaphore* GetLock() override;
    // Positioned reads where the host has them (see host::File::ReadAt).
    int32_t ReadAt(int64_t offset, void* buffer, int32_t count) override;

  private:
    host::File file;
    int64_t position = 0;
    // Guards the mapping and the whole view.
    std::mutex mappingMutex;
    host::FileMapping mapping;
    const void* wholeView = nullptr;
    Semaphore lock;
};

}  // namespace vfs
