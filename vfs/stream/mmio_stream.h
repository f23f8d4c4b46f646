// MmioStream: the buffered, read-only host file back-end.
#pragma once

#include <cstdint>

#include "vfs/core/result.h"
#include "vfs/core/semaphore.h"
#include "vfs/core/stream.h"
#include "vfs/host/host_buffered_file.h"

namespace vfs {

// A host file read through a 16384-byte buffer, at the bottom of a stream
// stack. It cannot write and cannot map (callers fall back to Read). Like
// every back-end it never takes its own lock.
class MmioStream : public Stream {
  public:
    static constexpr uint32_t BUFFER_SIZE = 16384;

    MmioStream() = default;

    // Opens the existing host file `path` (made absolute with ResolvePath)
    // for reading. Fails when the flags ask for OPEN_WRITE; every other bit
    // is ignored. Drops whatever the stream held first.
    Result Open(const char* path, uint32_t flags);

    // Bytes read (0 at the end), or -1 on a host error; a failed read leaves
    // the position as it was.
    int32_t Read(void* buffer, int32_t count) override;
    // -1 for any count but 0: the file is open for reading only.
    int32_t Write(const void* buffer, int32_t count) override;
    // Origin 0 from the start, 1 from the position, anything else from the
    // end. The new position, or -1 with the position unchanged.
    int32_t Seek(int32_t offset, int32_t origin) override;
    // Leaves the position unchanged.
    int32_t GetSize() override;
    int32_t Tell() override;
    int64_t Seek64(int64_t offset, int32_t origin) override;
    int64_t GetSize64() override;
    int64_t Tell64() override;
    const void* Map(int32_t offset, int32_t length) override;
    void Unmap(const void* pointer) override;
    Result Flush() override;
    void Close() override;
    // A back-end is always the bottom of its stack: it takes nothing beneath
    // it, and lets go of the reference it is handed.
    void Attach(Stream* stream) override;
    Semaphore* GetLock() override;

  private:
    host::BufferedFile file;
    int64_t position = 0;
    Semaphore lock;
};

}  // namespace vfs
