#include "vfs/host/host_buffered_file.h"

#include <climits>
#include <cstring>
#include <new>

namespace vfs::host {

BufferedFile::~BufferedFile() {
    Close();
}

bool BufferedFile::Open(const char* path) {
    Close();
    if (!file.Open(path, ACCESS_READ, SHARE_READ | SHARE_WRITE, Disposition::OpenExisting)) {
        return false;
    }
    if (buffer == nullptr) {
        buffer.reset(new (std::nothrow) unsigned char[bufferSize]);
        if (buffer == nullptr) {
            file.Close();
            return false;
        }
    }
    position = 0;
    return true;
}

bool BufferedFile::SetBufferSize(uint32_t size) {
    if (size == 0) {
        return false;
    }
    std::unique_ptr<unsigned char[]> replacement(new (std::nothrow) unsigned char[size]);
    if (replacement == nullptr) {
        return false;
    }
    buffer = std::move(replacement);
    bufferSize = size;
    bufferLength = 0;
    return true;
}

bool BufferedFile::ReadAt(int64_t at, unsigned char* out, uint32_t count, uint32_t* done) {
    *done = 0;
    return file.Seek(at, Origin::Start) == at && file.Read(out, count, done);
}

int32_t BufferedFile::Read(void* out, int32_t count) {
    if (!IsOpen() || count < 0) {
        return -1;
    }
    const uint32_t wanted = static_cast<uint32_t>(count);
    auto* bytes = static_cast<unsigned char*>(out);
    uint32_t total = 0;
    while (total < wanted) {
        // Serve what the buffer holds at the position.
        if (position >= bufferStart && position - bufferStart < int64_t{bufferLength}) {
            uint32_t offset = static_cast<uint32_t>(position - bufferStart);
            uint32_t take = bufferLength - offset;
            if (take > wanted - total) {
                take = wanted - total;
            }
            std::memcpy(bytes + total, buffer.get() + offset, take);
            total += take;
            position += take;
            continue;
        }
        uint32_t done = 0;
        uint32_t rest = wanted - total;
        if (rest >= bufferSize) {
            // A long read goes straight into the caller's buffer.
            bool ok = ReadAt(position, bytes + total, rest, &done);
            total += done;
            position += done;
            if (!ok) {
                return total > 0 ? static_cast<int32_t>(total) : -1;
            }
            break;
        }
        bufferLength = 0;
        bufferStart = position;
        bool ok = ReadAt(position, buffer.get(), bufferSize, &done);
        bufferLength = done;
        if (!ok && done == 0) {
            return total > 0 ? static_cast<int32_t>(total) : -1;
        }
        if (done == 0) {
            break;  // end of the file
        }
    }
    return static_cast<int32_t>(total);
}

int32_t BufferedFile::Write(const void* /*buffer*/, int32_t /*count*/) {
    return -1;
}

int64_t BufferedFile::Seek(int64_t offset, Origin origin) {
    if (!IsOpen()) {
        return -1;
    }
    int64_t base;
    switch (origin) {
        case Origin::Start:
            base = 0;
            break;
        case Origin::Current:
            base = position;
            break;
        case Origin::End:
            base = file.GetSize();
            break;
        default:
            return -1;
    }
    if (base < 0) {
        return -1;
    }
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target) || target < 0) {
        return -1;
    }
    position = target;
    return position;
}

bool BufferedFile::Flush() {
    return IsOpen();
}

void BufferedFile::Close() {
    file.Close();
    position = 0;
    bufferStart = 0;
    bufferLength = 0;
}

}  // namespace vfs::host
