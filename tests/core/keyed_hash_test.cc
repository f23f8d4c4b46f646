#include "vfs/core/keyed_hash.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// The published SipHash-2-4 values for the key 00 01 ... 0f and the
// messages 00 01 ... (length - 1): the rounds and the byte order the keyed
// hash of names is built from.
TEST(KeyedHashTest, SipHashGivesThePublishedValues) {
    const vfs::HashKey key{0x0706050403020100ull, 0x0F0E0D0C0B0A0908ull};
    uint8_t message[15];
    for (uint8_t i = 0; i < 15; ++i) {
        message[i] = i;
    }
    EXPECT_EQ((vfs::SipHash<2, 4>(key, message, 0)), 0x726FDB47DD0E0E31ull);
    EXPECT_EQ((vfs::SipHash<2, 4>(key, message, 15)), 0xA129CA6149BE45E5ull);
}

}  // namespace
