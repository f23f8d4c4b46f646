#include "vfs/host/host_directory.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/host/attribute_bits.h"
#include "tests/host/temp_directory.h"

namespace vfs::host {
namespace {

using test::MeaningfulBits;
using test::TempDirectory;

class HostDirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.Valid()); }
    std::string P(const std::string& name) const { return dir.Join(name); }

    TempDirectory dir;
};

TEST_F(HostDirectoryTest, Attributes) {
    dir.MakeDirectory("sub");
    dir.WriteFile("file", "x");
    EXPECT_EQ(ATTRIBUTE_DIRECTORY, GetPathAttributes(P("sub").c_str()));
    EXPECT_EQ(0u, MeaningfulBits(GetPathAttributes(P("file").c_str())));
    EXPECT_EQ(INVALID_ATTRIBUTES, GetPathAttributes(P("missing").c_str()));
    EXPECT_EQ(INVALID_ATTRIBUTES, GetPathAttributes(nullptr));

    ASSERT_TRUE(SetPathAttributes(P("file").c_str(), ATTRIBUTE_READONLY));
    EXPECT_EQ(ATTRIBUTE_READONLY, MeaningfulBits(GetPathAttributes(P("file").c_str())));
    ASSERT_TRUE(SetPathAttributes(P("file").c_str(), ATTRIBUTE_NORMAL));
    EXPECT_EQ(0u, MeaningfulBits(GetPathAttributes(P("file").c_str())));
    ASSERT_TRUE(SetPathAttributes(P("sub").c_str(), 0));
    EXPECT_EQ(ATTRIBUTE_DIRECTORY, GetPathAttributes(P("sub").c_str()));
    EXPECT_FALSE(SetPathAttributes(P("missing").c_str(), 0));
}

TEST_F(HostDirectoryTest, CreateAndRemoveDirectories) {
    EXPECT_TRUE(MakeDirectory(P("a").c_str()));
    EXPECT_FALSE(MakeDirectory(P("a").c_str()));    // already there
    EXPECT_FALSE(MakeDirectory(P("x/y").c_str()));  // parent missing
    EXPECT_TRUE(MakeDirectory((dir.Path() + "\\a\\b").c_str()));
    EXPECT_TRUE(dir.Exists("a/b"));

    EXPECT_FALSE(RemoveEmptyDirectory(P("a").c_str()));  // not empty
    EXPECT_FALSE(RemoveFile(P("a/b").c_str()));          // not a file
    EXPECT_TRUE(RemoveEmptyDirectory(P("a/b").c_str()));
    EXPECT_TRUE(RemoveEmptyDirectory(P("a").c_str()));
    EXPECT_FALSE(dir.Exists("a"));
}

TEST_F(HostDirectoryTest, DeleteFiles) {
    dir.WriteFile("f", "x");
    EXPECT_FALSE(RemoveEmptyDirectory(P("f").c_str()));
    EXPECT_TRUE(RemoveFile(P("f").c_str()));
    EXPECT_FALSE(dir.Exists("f"));
    EXPECT_FALSE(RemoveFile(P("f").c_str()));
}

TEST_F(HostDirectoryTest, MoveRenamesAndNeverReplaces) {
    dir.WriteFile("from", "moved");
    dir.WriteFile("taken", "kept");
    dir.MakeDirectory("sub");
    EXPECT_FALSE(MovePath(P("from").c_str(), P("taken").c_str()));
    EXPECT_EQ("kept", dir.ReadFile("taken"));
    EXPECT_TRUE(MovePath(P("from").c_str(), (dir.Path() + "\\sub\\to").c_str()));
    EXPECT_EQ("moved", dir.ReadFile("sub/to"));
    EXPECT_FALSE(dir.Exists("from"));
    EXPECT_TRUE(MovePath(P("sub").c_str(), P("renamed").c_str()));
    EXPECT_EQ("moved", dir.ReadFile("renamed/to"));
    EXPECT_FALSE(MovePath(P("missing").c_str(), P("other").c_str()));
}

}  // namespace
}  // namespace vfs::host
