#include "vfs/host/host_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

#include "tests/host/temp_directory.h"
#include "vfs/host/host_file_mapping.h"

namespace vfs::host {
namespace {

using test::TempDirectory;

constexpr uint32_t READ_WRITE = ACCESS_READ | ACCESS_WRITE;

class HostFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.Valid()); }
    std::string P(const std::string& name) const { return dir.Join(name); }

    TempDirectory dir;
};

TEST_F(HostFileTest, CreationDispositions) {
    File file;
    // Open existing: only a file that is there.
    EXPECT_FALSE(file.Open(P("missing").c_str(), ACCESS_READ, 0, Disposition::OpenExisting));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(dir.Exists("missing"));

    dir.WriteFile("old", "old contents");
    ASSERT_TRUE(file.Open(P("old").c_str(), ACCESS_READ, 0, Disposition::OpenExisting));
    EXPECT_EQ(12, file.GetSize());

    // Open always: keeps an existing file, creates a missing one.
    ASSERT_TRUE(file.Open(P("old").c_str(), READ_WRITE, 0, Disposition::OpenAlways));
    EXPECT_EQ(12, file.GetSize());
    ASSERT_TRUE(file.Open(P("new1").c_str(), READ_WRITE, 0, Disposition::OpenAlways));
    EXPECT_EQ(0, file.GetSize());

    // Create new: fails on an existing file and leaves it alone.
    EXPECT_FALSE(file.Open(P("old").c_str(), READ_WRITE, 0, Disposition::CreateNew));
    EXPECT_EQ("old contents", dir.ReadFile("old"));
    ASSERT_TRUE(file.Open(P("new2").c_str(), READ_WRITE, 0, Disposition::CreateNew));
    EXPECT_TRUE(dir.Exists("new2"));

    // Create always: empties an existing file, even when opened for reading.
    ASSERT_TRUE(file.Open(P("old").c_str(), ACCESS_READ, 0, Disposition::CreateAlways));
    EXPECT_EQ(0, file.GetSize());
    file.Close();
    EXPECT_EQ("", dir.ReadFile("old"));
}

TEST_F(HostFileTest, DirectoriesAreNotFiles) {
    dir.MakeDirectory("sub");
    File file;
    EXPECT_FALSE(file.Open(P("sub").c_str(), ACCESS_READ, SHARE_READ, Disposition::OpenExisting));
    EXPECT_FALSE(file.Open(P("sub").c_str(), READ_WRITE, 0, Disposition::CreateAlways));
}

TEST_F(HostFileTest, BackslashesInThePathAreSeparators) {
    dir.MakeDirectory("sub");
    dir.WriteFile("sub/file.txt", "abc");
    std::string path = dir.Path() + "\\sub\\file.txt";
    File file;
    ASSERT_TRUE(file.Open(path.c_str(), ACCESS_READ, 0, Disposition::OpenExisting));
    EXPECT_EQ(3, file.GetSize());
}

TEST_F(HostFileTest, AccessIsEnforced) {
    dir.WriteFile("f", "data");
    File file;
    char buffer[4];
    uint32_t done = 99;
    ASSERT_TRUE(file.Open(P("f").c_str(), ACCESS_READ, 0, Disposition::OpenExisting));
    EXPECT_FALSE(file.Write("xy", 2, &done));
    EXPECT_EQ(0u, done);
    EXPECT_FALSE(file.Flush());

    ASSERT_TRUE(file.Open(P("f").c_str(), ACCESS_WRITE, 0, Disposition::OpenExisting));
    EXPECT_FALSE(file.Read(buffer, 4, &done));
    EXPECT_EQ(0u, done);
    EXPECT_TRUE(file.Write("xy", 2, &done));
    EXPECT_EQ(2u, done);
    file.Close();
    EXPECT_EQ("xyta", dir.ReadFile("f"));
}

TEST_F(HostFileTest, ShareModesBetweenOpensOfOneFile) {
    dir.WriteFile("f", "contents");
    File first;
    File second;
    // Readers that share reading get along.
    ASSERT_TRUE(first.Open(P("f").c_str(), ACCESS_READ, SHARE_READ, Disposition::OpenExisting));
    EXPECT_TRUE(second.Open(P("f").c_str(), ACCESS_READ, SHARE_READ, Disposition::OpenExisting));
    second.Close();
    // A writer is refused while a reader does not share writing, and it may
    // not empty the file either.
    EXPECT_FALSE(second.Open(P("f").c_str(), READ_WRITE, SHARE_READ, Disposition::CreateAlways));
    EXPECT_EQ("contents", dir.ReadFile("f"));
    // A reader that does not share reading is refused while another reads.
    EXPECT_FALSE(second.Open(P("f").c_str(), ACCESS_READ, 0, Disposition::OpenExisting));
    first.Close();

    // An unshared open keeps everyone else out until it closes.
    ASSERT_TRUE(first.Open(P("f").c_str(), READ_WRITE, 0, Disposition::CreateAlways));
    EXPECT_FALSE(second.Open(P("f").c_str(), ACCESS_READ, SHARE_READ | SHARE_WRITE,
                             Disposition::OpenExisting));
    first.Close();
    EXPECT_TRUE(second.Open(P("f").c_str(), ACCESS_READ, SHARE_READ, Disposition::OpenExisting));
}

TEST_F(HostFileTest, ReadWriteAndSeek) {
    File file;
    ASSERT_TRUE(file.Open(P("f").c_str(), READ_WRITE, 0, Disposition::CreateAlways));
    uint32_t done = 0;
    ASSERT_TRUE(file.Write("0123456789", 10, &done));
    EXPECT_EQ(10u, done);

    EXPECT_EQ(2, file.Seek(2, Origin::Start));
    EXPECT_EQ(5, file.Seek(3, Origin::Current));
    char buffer[8] = {};
    ASSERT_TRUE(file.Read(buffer, 2, &done));
    EXPECT_EQ(std::string("56"), std::string(buffer, done));
    EXPECT_EQ(7, file.Seek(-3, Origin::End));

    // Moves that leave the range fail and keep the position.
    EXPECT_EQ(-1, file.Seek(-1, Origin::Start));
    EXPECT_EQ(-1, file.Seek(-8, Origin::Current));
    EXPECT_EQ(-1, file.Seek(INT64_MAX, Origin::End));
    EXPECT_EQ(-1, file.Seek(0, static_cast<Origin>(3)));
    EXPECT_EQ(7, file.Seek(0, Origin::Current));

    // At and past the end a read moves nothing and succeeds.
    ASSERT_TRUE(file.Read(buffer, 8, &done));
    EXPECT_EQ(3u, done);
    ASSERT_TRUE(file.Read(buffer, 8, &done));
    EXPECT_EQ(0u, done);
    EXPECT_EQ(20, file.Seek(10, Origin::End));
    ASSERT_TRUE(file.Read(buffer, 8, &done));
    EXPECT_EQ(0u, done);

    EXPECT_TRUE(file.Flush());
    file.Close();
    EXPECT_EQ(-1, file.GetSize());
    EXPECT_EQ(-1, file.Seek(0, Origin::Start));
    EXPECT_FALSE(file.Flush());
}

TEST_F(HostFileTest, PositionedReadsNeitherUseNorMoveThePosition) {
    File file;
    ASSERT_TRUE(file.Open(P("f").c_str(), READ_WRITE, 0, Disposition::CreateAlways));
    uint32_t done = 0;
    ASSERT_TRUE(file.Write("0123456789", 10, &done));
    ASSERT_EQ(2, file.Seek(2, Origin::Start));
    char buffer[8] = {};
    if (!File::HasPositionedReads()) {
        EXPECT_FALSE(file.ReadAt(5, buffer, 3, &done));
        EXPECT_EQ(0u, done);
        return;
    }
    ASSERT_TRUE(file.ReadAt(5, buffer, 3, &done));
    EXPECT_EQ("567", std::string(buffer, done));
    ASSERT_TRUE(file.ReadAt(8, buffer, 8, &done));
    EXPECT_EQ("89", std::string(buffer, done)) << "short at the end";
    ASSERT_TRUE(file.ReadAt(10, buffer, 8, &done));
    EXPECT_EQ(0u, done);
    ASSERT_TRUE(file.Read(buffer, 2, &done));
    EXPECT_EQ("23", std::string(buffer, done)) << "the position was left alone";

    file.Close();
    File writeOnly;
    ASSERT_TRUE(writeOnly.Open(P("f").c_str(), ACCESS_WRITE, 0, Disposition::OpenExisting));
    EXPECT_FALSE(writeOnly.ReadAt(0, buffer, 2, &done));
}

TEST_F(HostFileTest, SizesAndPositionsBeyondThirtyTwoBits) {
    dir.WriteFile("big", "");
    std::error_code error;
    const int64_t size = (int64_t{1} << 32) + 5;
    std::filesystem::resize_file(P("big"), static_cast<uintmax_t>(size), error);
    if (error) {
        GTEST_SKIP() << "no sparse files here";
    }
    File file;
    ASSERT_TRUE(file.Open(P("big").c_str(), ACCESS_READ, 0, Disposition::OpenExisting));
    EXPECT_EQ(size, file.GetSize());
    EXPECT_EQ(size, file.Seek(0, Origin::End));
    EXPECT_EQ(size - 1, file.Seek(-1, Origin::Current));
}

TEST_F(HostFileTest, MappingViews) {
    uint32_t granularity = GetAllocationGranularity();
    ASSERT_GE(granularity, 4096u);
    std::string contents = test::PatternedBytes(3 * granularity + 100);
    dir.WriteFile("f", contents);
    dir.WriteFile("empty", "");

    File file;
    FileMapping mapping;
    ASSERT_TRUE(file.Open(P("empty").c_str(), ACCESS_READ, 0, Disposition::OpenExisting));
    EXPECT_FALSE(mapping.Create(file));  // nothing to map
    ASSERT_TRUE(file.Open(P("f").c_str(), ACCESS_WRITE, 0, Disposition::OpenExisting));
    EXPECT_FALSE(mapping.Create(file));  // not readable
    ASSERT_TRUE(file.Open(P("f").c_str(), ACCESS_READ, 0, Disposition::OpenExisting));
    ASSERT_TRUE(mapping.Create(file));

    const void* whole = mapping.MapView(0, 0);
    ASSERT_NE(nullptr, whole);
    EXPECT_EQ(0, std::memcmp(whole, contents.data(), contents.size()));

    const void* part = mapping.MapView(granularity, 100);
    ASSERT_NE(nullptr, part);
    EXPECT_EQ(0, std::memcmp(part, contents.data() + granularity, 100));
    const void* tail = mapping.MapView(3 * granularity, 0);
    ASSERT_NE(nullptr, tail);
    EXPECT_EQ(0, std::memcmp(tail, contents.data() + 3 * granularity, 100));

    // Views start at the granularity and stay within the file.
    EXPECT_EQ(nullptr, mapping.MapView(granularity + 1, 10));
    EXPECT_EQ(nullptr, mapping.MapView(0, contents.size() + 1));
    EXPECT_EQ(nullptr, mapping.MapView(4 * granularity, 0));

    // Views are found by any pointer inside them, and given back once.
    const char* inside = static_cast<const char*>(part) + 50;
    EXPECT_EQ(part, mapping.ViewContaining(inside));
    EXPECT_EQ(whole, mapping.ViewContaining(static_cast<const char*>(whole) + 10));
    EXPECT_TRUE(mapping.UnmapView(inside));
    EXPECT_FALSE(mapping.UnmapView(inside));
    EXPECT_FALSE(mapping.UnmapView(contents.data()));
    EXPECT_EQ(nullptr, mapping.ViewContaining(part));
    mapping.Close();
    EXPECT_FALSE(mapping.IsOpen());
    EXPECT_EQ(nullptr, mapping.MapView(0, 0));
}

}  // namespace
}  // namespace vfs::host
