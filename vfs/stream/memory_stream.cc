#include "vfs/stream/memory_stream.h"

#include <cstdlib>
#include <cstring>
#include <functional>

namespace vfs {

MemoryStream::~MemoryStream() {
    FreeBuffer();
}

Result MemoryStream::Init(int32_t newSize) {
    FreeBuffer();
    awaitingDecode = false;
    status = Result::Fail();
    if (newSize < 0) {
        return Result::Fail();
    }
    // calloc: every byte has a defined value, and large buffers come as
    // untouched zero pages, so a hostile size costs nothing until a decoder
    // really writes that much. At least one byte, so that an empty stream
    // still has a cursor.
    buffer = static_cast<uint8_t*>(std::calloc(newSize > 0 ? static_cast<size_t>(newSize) : 1, 1));
    if (buffer == nullptr) {
        return Result::Fail();
    }
    size = newSize;
    cursor = buffer;
    if (decodedByAttach) {
        awaitingDecode = true;
    } else {
        status = Result::Ok();
    }
    return Result::Ok();
}

int32_t MemoryStream::Read(void* out, int32_t count) {
    if (status.Failed() || cursor == nullptr || count <= 0) {
        return 0;
    }
    int32_t available = size - static_cast<int32_t>(cursor - buffer);
    int32_t amount = count < available ? count : available;
    if (amount <= 0) {
        return 0;
    }
    std::memcpy(out, cursor, static_cast<size_t>(amount));
    cursor += amount;
    return amount;
}

int32_t MemoryStream::Write(const void*, int32_t) {
    return 0;
}

int32_t MemoryStream::Seek(int32_t offset, int32_t origin) {
    if (buffer == nullptr) {
        return -1;
    }
    int64_t target = SeekTarget(offset, origin, Tell(), size);
    if (target < 0) {
        return -1;
    }
    cursor = buffer + target;
    return static_cast<int32_t>(target);
}

int32_t MemoryStream::Tell() {
    return cursor == nullptr ? 0 : static_cast<int32_t>(cursor - buffer);
}

const void* MemoryStream::Map(int32_t offset, int32_t length) {
    if (status.Failed() || buffer == nullptr) {
        return nullptr;
    }
    if (offset < 0 || length < 0 || offset > size || length > size - offset) {
        return nullptr;
    }
    return buffer + offset;
}

void MemoryStream::Unmap(const void* pointer) {
    if (pointer == nullptr) {
        return;
    }
    auto* byte = static_cast<const uint8_t*>(pointer);
    std::less_equal<const uint8_t*> notAfter;
    if (buffer != nullptr && notAfter(buffer, byte) && notAfter(byte, buffer + size)) {
        return;
    }
    Stream::Unmap(pointer);
}

void MemoryStream::Close() {
    FreeBuffer();
}

bool MemoryStream::IsAwaitingDecode() const {
    return awaitingDecode;
}

void MemoryStream::FinishDecode(bool complete) {
    awaitingDecode = false;
    if (complete) {
        status = Result::Ok();
    } else {
        FreeBuffer();
    }
}

void MemoryStream::FreeBuffer() {
    std::free(buffer);
    buffer = nullptr;
    cursor = nullptr;
    size = 0;
    status = Result::Fail();
}

}  // namespace vfs
