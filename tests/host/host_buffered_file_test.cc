#include "vfs/host/host_buffered_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/host/temp_directory.h"

namespace vfs::host {
namespace {

using test::TempDirectory;

class HostBufferedFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.Valid());
        contents = test::PatternedBytes(50000);
        dir.WriteFile("f", contents);
    }

    TempDirectory dir;
    std::string contents;
};

TEST_F(HostBufferedFileTest, ReadsOfEverySizeMatchTheFile) {
    BufferedFile file;
    ASSERT_TRUE(file.Open(dir.Join("f").c_str()));
    ASSERT_TRUE(file.SetBufferSize(16384));
    EXPECT_EQ(16384u, file.GetBufferSize());
    // Small reads, reads across the buffer's edge and reads longer than the
    // buffer, in turn.
    const int32_t sizes[] = {1, 7, 16383, 3, 20000, 100, 16384, 5000};
    std::string got;
    std::vector<char> buffer(20000);
    for (size_t i = 0; got.size() < contents.size(); ++i) {
        int32_t n = file.Read(buffer.data(), sizes[i % 8]);
        ASSERT_GT(n, 0);
        got.append(buffer.data(), static_cast<size_t>(n));
    }
    EXPECT_EQ(contents, got);
    EXPECT_EQ(0, file.Read(buffer.data(), 10));
}

TEST_F(HostBufferedFileTest, SeekThenReadComesFromTheNewPosition) {
    BufferedFile file;
    ASSERT_TRUE(file.Open(dir.Join("f").c_str()));
    char buffer[16];
    ASSERT_EQ(16, file.Read(buffer, 16));  // fills the buffer from 0
    // Backwards within the buffer, forwards beyond it, from the end.
    const struct {
        int32_t offset;
        Origin origin;
        int32_t expected;
    } moves[] = {{4, Origin::Start, 4},
                 {30000, Origin::Current, 30020},
                 {-10, Origin::End, 49990},
                 {100, Origin::Start, 100}};
    for (const auto& move : moves) {
        ASSERT_EQ(move.expected, file.Seek(move.offset, move.origin));
        int32_t n = file.Read(buffer, 16);
        int32_t expectedCount = std::min(16, 50000 - move.expected);
        ASSERT_EQ(expectedCount, n);
        EXPECT_EQ(contents.substr(static_cast<size_t>(move.expected), static_cast<size_t>(n)),
                  std::string(buffer, static_cast<size_t>(n)));
    }
}

TEST_F(HostBufferedFileTest, ReadOnlyAndBoundedPositions) {
    BufferedFile file;
    EXPECT_FALSE(file.Open(dir.Join("missing").c_str()));
    EXPECT_EQ(-1, file.Read(nullptr, 1));
    EXPECT_FALSE(file.Flush());

    ASSERT_TRUE(file.Open(dir.Join("f").c_str()));
    EXPECT_EQ(-1, file.Write("x", 1));
    EXPECT_TRUE(file.Flush());
    EXPECT_EQ(-1, file.Seek(-1, Origin::Start));
    EXPECT_EQ(-1, file.Seek(INT64_MAX, Origin::End));
    EXPECT_EQ(60000, file.Seek(60000, Origin::Start));
    char buffer[4];
    EXPECT_EQ(0, file.Read(buffer, 4));
    EXPECT_EQ(-1, file.Read(buffer, -4));
    EXPECT_FALSE(file.SetBufferSize(0));
}

}  // namespace
}  // namespace vfs::host
