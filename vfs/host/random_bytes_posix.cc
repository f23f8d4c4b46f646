#include "vfs/host/random_bytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace vfs::host {

namespace {

// /dev/urandom, where getentropy is missing from the kernel or refused.
bool ReadUrandom(uint8_t* bytes, size_t length) {
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < length) {
        const ssize_t n = read(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    close(fd);
    return done == length;
}

}  // namespace

bool FillRandomBytes(void* buffer, size_t length) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    // getentropy gives at most 256 bytes a call.
    for (size_t done = 0; done < length;) {
        const size_t n = std::min<size_t>(length - done, 256);
        if (getentropy(bytes + done, n) != 0) {
            return ReadUrandom(bytes, length);
        }
        done += n;
    }
    return true;
}

}  // namespace vfs::host
