#include "vfs/stream/mmio_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/host/temp_directory.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"

namespace vfs {
namespace {

using test::TempDirectory;

class MmioStreamTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.Valid());
        contents = test::PatternedBytes(40000);
        dir.WriteFile("f", contents);
    }

    MmioStream* OpenInto(StreamRef& ref, const std::string& name, uint32_t flags) {
        auto* stream = new MmioStream();
        if (stream->Open(dir.Join(name).c_str(), flags).Failed()) {
            stream->Release();
            return nullptr;
        }
        ref.Set(stream);
        return stream;
    }

    TempDirectory dir;
    std::string contents;
};

TEST_F(MmioStreamTest, OpensExistingFilesForReadingOnly) {
    StreamRef ref;
    EXPECT_EQ(nullptr, OpenInto(ref, "f", OPEN_READ | OPEN_WRITE));
    EXPECT_EQ(nullptr, OpenInto(ref, "f", OPEN_WRITE | OPEN_CREATE));
    EXPECT_EQ(nullptr, OpenInto(ref, "missing", OPEN_READ | OPEN_CREATE));
    EXPECT_FALSE(dir.Exists("missing"));
    ASSERT_NE(nullptr, OpenInto(ref, "f", OPEN_READ | OPEN_SHARE_READ));
    EXPECT_EQ(0, ref.Write("x", 0));
    EXPECT_EQ(-1, ref.Write("x", 1));
    EXPECT_EQ(0, ref.Tell());
    EXPECT_EQ(contents, dir.ReadFile("f"));
}

TEST_F(MmioStreamTest, ReadsInAnySizesMatchTheFile) {
    StreamRef ref;
    ASSERT_NE(nullptr, OpenInto(ref, "f", OPEN_READ));
    std::vector<char> buffer(20000);
    std::string got;
    const int32_t sizes[] = {3, 16384, 1, 20000, 999};
    for (size_t i = 0; got.size() < contents.size(); ++i) {
        int32_t n = ref.Read(buffer.data(), sizes[i % 5]);
        ASSERT_GT(n, 0);
        got.append(buffer.data(), static_cast<size_t>(n));
        EXPECT_EQ(static_cast<int32_t>(got.size()), ref.Tell());
    }
    EXPECT_EQ(contents, got);
    EXPECT_EQ(0, ref.Read(buffer.data(), 10));
    EXPECT_EQ(0, ref.Read(buffer.data(), 0));
    // A failed read leaves the position alone.
    EXPECT_EQ(-1, ref.Read(buffer.data(), -5));
    EXPECT_EQ(40000, ref.Tell());
}

TEST_F(MmioStreamTest, SeekFromEachOriginAndGetSize) {
    StreamRef ref;
    ASSERT_NE(nullptr, OpenInto(ref, "f", OPEN_READ));
    char buffer[8];
    EXPECT_EQ(100, ref.Seek(100, SEEK_FROM_START));
    EXPECT_EQ(140, ref.Seek(40, SEEK_FROM_CURRENT));
    EXPECT_EQ(40000, ref.GetSize());
    EXPECT_EQ(140, ref.Tell());  // GetSize leaves the position
    ASSERT_EQ(8, ref.Read(buffer, 8));
    EXPECT_EQ(contents.substr(140, 8), std::string(buffer, 8));

    EXPECT_EQ(39990, ref.Seek(-10, SEEK_FROM_END));
    EXPECT_EQ(39995, ref.Seek(-5, 7));  // any other origin counts from the end
    ASSERT_EQ(5, ref.Read(buffer, 8));
    EXPECT_EQ(contents.substr(39995, 5), std::string(buffer, 5));

    EXPECT_EQ(-1, ref.Seek(-1, SEEK_FROM_START));
    EXPECT_EQ(40000, ref.Tell());
    EXPECT_EQ(12, ref.Seek(12, SEEK_FROM_START));
    ASSERT_EQ(8, ref.Read(buffer, 8));
    EXPECT_EQ(contents.substr(12, 8), std::string(buffer, 8));
}

TEST_F(MmioStreamTest, NoMappingAndItsOwnLock) {
    StreamRef ref;
    MmioStream* stream = OpenInto(ref, "f", OPEN_READ);
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(nullptr, ref.Map());
    EXPECT_EQ(nullptr, stream->Map(10, 10));
    stream->Unmap(contents.data());  // nothing to give back, nothing happens
    EXPECT_NE(nullptr, stream->GetLock());
    EXPECT_EQ(0, ref.Flush().status);
    stream->Close();
    EXPECT_EQ(-1, ref.Flush().status);
    EXPECT_EQ(-1, ref.Seek(0, SEEK_FROM_START));
}

}  // namespace
}  // namespace vfs
