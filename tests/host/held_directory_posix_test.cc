// Held directories on POSIX hosts: a symbolic link is never followed beneath
// them, and a held directory stays the one held whatever its path becomes.
#include <gtest/gtest.h>

#include <cerrno>
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

TEST(HeldDirectoryPosixTest, LinksAreNeverFollowedBeneathIt) {
    TempDirectory dir;
    TempDirectory outside;
    outside.MakeDirectory("sub");
    outside.WriteFile("secret.txt", "outside");
    dir.MakeDirectory("real");
    std::filesystem::create_directory_symlink(outside.Path(), dir.Join("link"));
    std::filesystem::create_directory_symlink(outside.Path(), dir.Join("real/deeper"));
    std::filesystem::create_symlink(outside.Join("secret.txt"), dir.Join("real/file.txt"));
    HeldDirectory root;
    ASSERT_TRUE(root.Open(dir.Path().c_str()));

    for (const char* through : {"link", "link/sub", "real/deeper", "real/deeper/sub"}) {
        HeldDirectory held;
        errno = 0;
        EXPECT_FALSE(held.OpenBeneath(root, through)) << through;
        EXPECT_EQ(errno, ELOOP) << through;
    }
    HeldDirectory real;
    ASSERT_TRUE(real.OpenBeneath(root, "real"));
    File file;
    EXPECT_FALSE(file.OpenIn(real, "file.txt", ACCESS_READ, SHARE_READ, Disposition::OpenExisting));
    EXPECT_FALSE(file.OpenIn(real, "file.txt", ACCESS_WRITE, 0, Disposition::CreateAlways));
    EXPECT_EQ(outside.ReadFile("secret.txt"), "outside");
    // Looked at, a link says what it is; removed, it goes itself.
    EXPECT_NE(real.Attributes("deeper") & ATTRIBUTE_REPARSE_POINT, 0u);
    FoundEntry found;
    Finder finder;
    ASSERT_TRUE(finder.First(real, "file.txt", &found));
    EXPECT_NE(found.attributes & ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_TRUE(real.RemoveFile("file.txt"));
    EXPECT_EQ(outside.ReadFile("secret.txt"), "outside");
}

TEST(HeldDirectoryPosixTest, AHeldDirectoryStaysTheOneHeld) {
    TempDirectory dir;
    TempDirectory outside;
    dir.MakeDirectory("d");
    HeldDirectory root;
    ASSERT_TRUE(root.Open(dir.Path().c_str()));
    HeldDirectory d;
    ASSERT_TRUE(d.OpenBeneath(root, "d"));
    std::filesystem::rename(dir.Join("d"), dir.Join("moved"));
    std::filesystem::create_directory_symlink(outside.Path(), dir.Join("d"));

    File file;
    ASSERT_TRUE(file.OpenIn(d, "x.txt", ACCESS_WRITE, 0, Disposition::CreateNew));
    file.Close();
    EXPECT_TRUE(dir.Exists("moved/x.txt"));
    EXPECT_TRUE(std::filesystem::is_empty(outside.Path()));
    HeldDirectory again;
    EXPECT_FALSE(again.OpenBeneath(root, "d")) << "looked up again, the link is refused";
}

}  // namespace
}  // namespace vfs::host
