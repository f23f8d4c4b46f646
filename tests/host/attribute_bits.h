// The attribute bits a test can count on on every host.
#pragma once

#include <cstdint>

namespace vfs::test {

// `attributes` without the bits that only tell a plain file: the normal bit,
// which POSIX hosts give a file with no other bit, and the archive bit
// (0x20), which Windows gives every file it creates.
inline uint32_t MeaningfulBits(uint32_t attributes) {
    return attributes & ~(0x20u | 0x80u);
}

}  // namespace vfs::test
