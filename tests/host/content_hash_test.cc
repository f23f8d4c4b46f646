// The host's SHA-256 against the standard's vectors, whole and in pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "vfs/host/content_hash.h"

namespace vfs::host {
namespace {

std::string HashOf(ContentHash& hash, const void* data, size_t length) {
    Sha256Digest digest{};
    EXPECT_TRUE(hash.Update(data, length));
    EXPECT_TRUE(hash.Finish(&digest));
    return DigestHex(digest);
}

TEST(ContentHashTest, KnownVectorsAndEachFinishStartsAfresh) {
    ContentHash hash;
    ASSERT_TRUE(hash.IsReady());
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
              HashOf(hash, "", 0));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
              HashOf(hash, "abc", 3));
    // The same object again: nothing of the earlier digests carries over.
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
              HashOf(hash, "abc", 3));
}

TEST(ContentHashTest, MillionsOfBytesFedInUnevenPiecesGiveTheWholeDigest) {
    // One million "a" is the standard's long vector; three times that, fed
    // in pieces that straddle the hash's 64-byte blocks, is checked against
    // the same bytes fed at once.
    const std::vector<uint8_t> million(1000000, 'a');
    ContentHash hash;
    EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
              HashOf(hash, million.data(), million.size()));

    std::vector<uint8_t> data(3 * 1024 * 1024 + 7);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
    }
    const std::string whole = HashOf(hash, data.data(), data.size());
    for (size_t done = 0, piece = 1; done < data.size(); piece = piece * 3 + 1) {
        const size_t n = std::min(piece % 200003, data.size() - done);
        ASSERT_TRUE(hash.Update(data.data() + done, n));
        done += n;
    }
    Sha256Digest digest{};
    ASSERT_TRUE(hash.Finish(&digest));
    EXPECT_EQ(whole, DigestHex(digest));
}

}  // namespace
}  // namespace vfs::host
