// Buffered, read-only host files.
#pragma once

#include <cstdint>
#include <memory>

#include "vfs/host/host_file.h"

namespace vfs::host {

// A host file opened for reading only and read through an I/O buffer that the
// object owns, so that many small reads cost few host calls. It keeps its own
// position; positions are signed 64-bit as in File. It shares the file with
// every other open for reading and writing, and sees what those write only
// outside of what it has buffered.
class BufferedFile {
  public:
    static constexpr uint32_t DEFAULT_BUFFER_SIZE = 8192;

    BufferedFile() = default;
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;
    ~BufferedFile();

    // Closes what the object held, then opens an existing file for reading.
    bool Open(const char* path);
    bool IsOpen() const { return file.IsOpen(); }
    // Replaces the I/O buffer with one of `size` bytes (at least 1).
    bool SetBufferSize(uint32_t size);
    uint32_t GetBufferSize() const { return bufferSize; }
    // Bytes read (0 at the end of the file), or -1 on a host error or a
    // negative count. The position advances by what was read.
    int32_t Read(void* buffer, int32_t count);
    // Always -1: the file is open for reading only.
    int32_t Write(const void* buffer, int32_t count);
    // The new position, or -1 (position unchanged). The position may go past
    // the end of the file; reads there give 0.
    int64_t Seek(int64_t offset, Origin origin);
    // True when the file is open: there is never anything to write back.
    bool Flush();
    void Close();

  private:
    bool ReadAt(int64_t at, unsigned char* out, uint32_t count, uint32_t* done);

    File file;
    int64_t position = 0;
    // The buffer holds `bufferLength` bytes of the file from `bufferStart`.
    std::unique_ptr<unsigned char[]> buffer;
    uint32_t bufferSize = DEFAULT_BUFFER_SIZE;
    int64_t bufferStart = 0;
    uint32_t bufferLength = 0;
};

}  // namespace vfs::host
