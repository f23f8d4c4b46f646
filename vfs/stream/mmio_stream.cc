#include "vfs/stream/mmio_stream.h"

#include "vfs/core/open_flags.h"
#include "vfs/core/path_resolution.h"
#include "vfs/host/host_limits.h"

namespace vfs {

namespace {

// Origin 0 from the start, 1 from the position, anything else from the end.
int32_t KnownOrigin(int32_t origin) {
    return origin == SEEK_FROM_START || origin == SEEK_FROM_CURRENT ? origin : SEEK_FROM_END;
}

}  // namespace

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
    return SeekWithin32Bits(offset, KnownOrigin(origin));
}

int64_t MmioStream::Seek64(int64_t offset, int32_t origin) {
    const int32_t known = KnownOrigin(origin);
    host::Origin from = known == SEEK_FROM_START     ? host::Origin::Start
                        : known == SEEK_FROM_CURRENT ? host::Origin::Current
                                                     : host::Origin::End;
    int64_t target = file.Seek(offset, from);
    if (target < 0) {
        return -1;
    }
    position = target;
    return position;
}

int32_t MmioStream::GetSize() {
    return Within32Bits(GetSize64());
}

int64_t MmioStream::GetSize64() {
    int64_t size = file.Seek(0, host::Origin::End);
    file.Seek(position, host::Origin::Start);
    return size;
}

int32_t MmioStream::Tell() {
    return Within32Bits(position);
}

int64_t MmioStream::Tell64() {
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
