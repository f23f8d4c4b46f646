#include "vfs/stream/mmio_stream.h"

#include "vfs/core/open_flags.h"
#include "vfs/core/path_resolution.h"
#include "vfs/host/host_limits.h"

namespace vfs {

Result MmioStream::Open(const char* path, uint32_t flags) {
    Close();
    char fullPath[HOST_MAX_PATH];
    if (ResolvePath(fullPath, sizeof(fullPath), path).Failed()) {
        return Result::Fail();
    }
    if ((flags & OPEN_WRITE) != 0) {
        return Result::Fail();
    }
    if (!file.Open(fullPath)) {
        return Result::Fail();
    }
    position = 0;
    // A smaller buffer only costs speed: the open stands either way.
    file.SetBufferSize(BUFFER_SIZE);
    return Result::Ok();
}

int32_t MmioStream::Read(void* buffer, int32_t count) {
    if (count == 0) {
        return 0;
    }
    if (buffer == nullptr) {
        return -1;
    }
    int32_t done = file.Read(buffer, count);
    if (done > 0) {
        position += done;
    }
    return done;
}

int32_t MmioStream::Write(const void* buffer, int32_t count) {
    if (count == 0) {
        return 0;
    }
    return file.Write(buffer, count);
}

int32_t MmioStream::Seek(int32_t offset, int32_t origin) {
    host::Origin from = origin == SEEK_FROM_START     ? host::Origin::Start
                        : origin == SEEK_FROM_CURRENT ? host::Origin::Current
                                                      : host::Origin::End;
    int32_t target = file.Seek(offset, from);
    if (target < 0) {
        return -1;
    }
    position = target;
    return position;
}

int32_t MmioStream::GetSize() {
    int32_t size = file.Seek(0, host::Origin::End);
    file.Seek(position, host::Origin::Start);
    return size;
}

int32_t MmioStream::Tell() {
    return position;
}

const void* MmioStream::Map(int32_t /*offset*/, int32_t /*length*/) {
    return nullptr;
}

void MmioStream::Unmap(const void* /*pointer*/) {}

Result MmioStream::Flush() {
    return file.Flush() ? Result::Ok() : Result::Fail();
}

void MmioStream::Close() {
    file.Close();
}

void MmioStream::Attach(Stream* stream) {
    if (stream != nullptr) {
        stream->Release();
    }
}

Semaphore* MmioStream::GetLock() {
    return &lock;
}

}  // namespace vfs
