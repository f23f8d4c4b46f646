// Held directories on every host: names resolved beneath them, never above,
// renames that do or do not replace, and who a file is.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/host/temp_directory.h"
#include "vfs/host/held_directory.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_file.h"
#include "vfs/host/host_find.h"

namespace vfs::host {
namespace {

using test::TempDirectory;

class HeldDirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.Valid());
        dir.MakeDirectory("a/b");
        dir.WriteFile("a/b/file.txt", "inside");
        dir.WriteFile("a/other.txt", "other");
        ASSERT_TRUE(root.Open(dir.Path().c_str()));
    }

    TempDirectory dir;
    HeldDirectory root;
};

TEST_F(HeldDirectoryTest, ResolvesOnlyBeneathItself) {
    HeldDirectory b;
    ASSERT_TRUE(b.OpenBeneath(root, "a\\b"));
    EXPECT_EQ(b.Attributes("file.txt") & ATTRIBUTE_DIRECTORY, 0u);
    HeldDirectory same;
    ASSERT_TRUE(same.OpenBeneath(b, ""));
    FoundEntry found;
    Finder finder;
    EXPECT_TRUE(finder.First(same, "file.txt", &found));
    for (const char* outside : {"..", "a\\..\\..", "a/./b", "a//b", "a\\b\\file.txt", "missing"}) {
        HeldDirectory refused;
        EXPECT_FALSE(refused.OpenBeneath(root, outside)) << outside;
    }
    // Names of one component only, and never the directory itself or its
    // parent.
    EXPECT_FALSE(root.MakeDirectory(".."));
    EXPECT_FALSE(root.MakeDirectory("a\\new"));
    EXPECT_EQ(b.Attributes(".."), INVALID_ATTRIBUTES);
}

TEST_F(HeldDirectoryTest, RenamesReplaceFilesOnlyWhenAsked) {
    HeldDirectory a;
    ASSERT_TRUE(a.OpenBeneath(root, "a"));
    File file;
    ASSERT_TRUE(file.OpenIn(a, "new.tmp", ACCESS_WRITE, 0, Disposition::CreateNew));
    uint32_t done = 0;
    ASSERT_TRUE(file.Write("fresh", 5, &done));
    file.Close();
    EXPECT_FALSE(file.OpenIn(a, "new.tmp", ACCESS_WRITE, 0, Disposition::CreateNew));

    EXPECT_FALSE(HeldDirectory::Rename(a, "new.tmp", a, "other.txt", false));
    EXPECT_EQ(dir.ReadFile("a/other.txt"), "other");
    EXPECT_FALSE(HeldDirectory::Rename(a, "new.tmp", a, "b", true)) << "never over a directory";
    ASSERT_TRUE(HeldDirectory::Rename(a, "new.tmp", a, "other.txt", true));
    EXPECT_EQ(dir.ReadFile("a/other.txt"), "fresh");
    EXPECT_FALSE(dir.Exists("a/new.tmp"));
    EXPECT_TRUE(a.Flush()) << "the rename made durable";
    EXPECT_TRUE(a.RemoveFile("other.txt"));
    EXPECT_FALSE(a.RemoveFile("b"));
    EXPECT_FALSE(a.RemoveEmptyDirectory("b")) << "it holds a file";
}

TEST_F(HeldDirectoryTest, IdentitiesTellFilesApartWhateverTheirNames) {
    std::filesystem::create_hard_link(dir.Join("a/other.txt"), dir.Join("a/alias.txt"));
    HeldDirectory a;
    ASSERT_TRUE(a.OpenBeneath(root, "a"));
    FileIdentity other;
    FileIdentity alias;
    FileIdentity inside;
    ASSERT_TRUE(a.Identity("other.txt", &other));
    ASSERT_TRUE(a.Identity("alias.txt", &alias));
    HeldDirectory b;
    ASSERT_TRUE(b.OpenBeneath(a, "b"));
    ASSERT_TRUE(b.Identity("file.txt", &inside));
    EXPECT_EQ(other, alias);
    EXPECT_NE(other, inside);
    File open;
    ASSERT_TRUE(open.OpenIn(a, "alias.txt", ACCESS_READ, SHARE_READ, Disposition::OpenExisting));
    FileIdentity opened;
    ASSERT_TRUE(open.Identity(&opened));
    EXPECT_EQ(opened, other);
}

}  // namespace
}  // namespace vfs::host
