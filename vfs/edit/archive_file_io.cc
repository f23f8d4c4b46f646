#include "vfs/edit/archive_file_io.h"

#include <algorithm>

#include "vfs/core/host_failure.h"
#include "vfs/core/last_error.h"
#include "vfs/host/host_error.h"

namespace vfs {

namespace {

constexpr size_t kPiece = size_t{1} << 30;

bool SeekTo(host::File& file, uint64_t offset) {
    return file.Seek(static_cast<int64_t>(offset), host::Origin::Start) ==
           static_cast<int64_t>(offset);
}

}  // namespace

int64_t ReadFileUpTo(host::File& file, uint64_t offset, void* into, size_t size) {
    auto* bytes = static_cast<uint8_t*>(into);
    size_t done = 0;
    const bool positioned = host::File::HasPositionedReads();
    host::ClearLastError();
    if (!positioned && !SeekTo(file, offset)) {
        FailWithHostReason("cannot be read");
        return -1;
    }
    while (done < size) {
        const auto count = static_cast<uint32_t>(std::min(size - done, kPiece));
        uint32_t got = 0;
        const bool read = positioned ? file.ReadAt(offset + done, bytes + done, count, &got)
                                     : file.Read(bytes + done, count, &got);
        if (!read) {
            FailWithHostReason("cannot be read");
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return static_cast<int64_t>(done);
}

Result ReadFileAt(host::File& file, uint64_t offset, void* into, size_t size) {
    const int64_t got = ReadFileUpTo(file, offset, into, size);
    if (got < 0) {
        return Result::Fail();
    }
    if (static_cast<size_t>(got) < size) {
        SetLastError(ErrorCode::OUTSIDE_FILE, "cannot be read: bytes " + std::to_string(offset) +
                                                  " to " + std::to_string(offset + size) +
                                                  " lie past the end of the file");
        return Result::Fail();
    }
    return Result::Ok();
}

Result WriteFileAt(host::File& file, uint64_t offset, const void* bytes, size_t size) {
    host::ClearLastError();
    if (!SeekTo(file, offset)) {
        return FailWithHostReason("cannot be written");
    }
    const auto* from = static_cast<const uint8_t*>(bytes);
    for (size_t done = 0; done < size;) {
        const auto count = static_cast<uint32_t>(std::min(size - done, kPiece));
        uint32_t put = 0;
        if (!file.Write(from + done, count, &put) || put == 0) {
            return FailWithHostReason("cannot be written");
        }
        done += put;
    }
    return Result::Ok();
}

Result FlushFile(host::File& file) {
    host::ClearLastError();
    if (!file.Flush()) {
        return FailWithHostReason("cannot be written to the disk");
    }
    return Result::Ok();
}

}  // namespace vfs
