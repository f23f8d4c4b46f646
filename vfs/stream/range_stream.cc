#include "vfs/stream/range_stream.h"

#include <functional>
#include <limits>
#include <string>

#include "vfs/core/last_error.h"
#include "vfs/host/host_error.h"

namespace vfs {

Result RangeStream::Init(int64_t newSize, int64_t newStart) {
    position = 0;
    mapped = nullptr;
    if (newSize < 0 || newStart < 0 || newSize > std::numeric_limits<int64_t>::max() - newStart) {
        size = 0;
        start = 0;
        return Result::Fail();
    }
    size = newSize;
    start = newStart;
    return Result::Ok();
}

int32_t RangeStream::Read(void* buffer, int32_t count) {
    if (inner == nullptr || count <= 0 || position < 0 || position >= size) {
        return 0;
    }
    const int64_t available = size - position;
    const int32_t amount = count < available ? count : static_cast<int32_t>(available);
    host::ClearLastError();
    int32_t moved = inner->Read(buffer, amount);
    if (moved < amount) {
        // The window lies within the file as it was opened: the host failed
        // the read, or the file has been cut short since.
        const std::string why = host::LastErrorText();
        SetLastError(
            ErrorCode::HOST_ERROR,
            "cannot be read: " +
                (why.empty() ? std::string("the archive file ends before its data does") : why));
    }
    if (moved < 0) {
        return -1;
    }
    // An inner stream that claims more than it was asked for is not believed
    // beyond the amount asked.
    if (moved > amount) {
        moved = amount;
    }
    position += moved;
    return moved;
}

int32_t RangeStream::Write(const void*, int32_t) {
    return 0;
}

int32_t RangeStream::Seek(int32_t offset, int32_t origin) {
    return SeekWithin32Bits(offset, origin);
}

int64_t RangeStream::Seek64(int64_t offset, int32_t origin) {
    if (inner == nullptr) {
        return -1;
    }
    int64_t target = SeekTarget(offset, origin, position, size);
    if (target < 0) {
        return -1;
    }
    // Every accepted seek goes to its absolute place in the inner stream, so
    // the inner stream ends up at start + position even if it stood elsewhere.
    int64_t result = inner->Seek64(start + target, SEEK_FROM_START);
    if (result < start || result - start > size) {
        return -1;
    }
    position = result - start;
    return position;
}

const void* RangeStream::Map(int32_t offset, int32_t length) {
    if (inner == nullptr || size == 0 || size > INT32_MAX || start > INT32_MAX) {
        return nullptr;
    }
    if (offset < 0 || length < 0 || offset > size || length > size - offset) {
        return nullptr;
    }
    if (mapped == nullptr) {
        mapped = static_cast<const uint8_t*>(
            inner->Map(static_cast<int32_t>(start), static_cast<int32_t>(size)));
        if (mapped == nullptr) {
            return nullptr;
        }
    }
    return mapped + offset;
}

bool RangeStream::IsInWindow(const void* pointer) const {
    if (mapped == nullptr || pointer == nullptr) {
        return false;
    }
    auto* byte = static_cast<const uint8_t*>(pointer);
    std::less_equal<const uint8_t*> notAfter;
    return notAfter(mapped, byte) && notAfter(byte, mapped + size);
}

void RangeStream::Unmap(const void* pointer) {
    if (inner == nullptr || IsInWindow(pointer)) {
        return;
    }
    inner->Unmap(pointer);
}

void RangeStream::Close() {
    if (mapped != nullptr && inner != nullptr) {
        inner->Unmap(mapped);
    }
    mapped = nullptr;
}

}  // namespace vfs
