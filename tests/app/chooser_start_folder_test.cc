#include "app/chooser_start_folder.h"

#include <gtest/gtest.h>

#include "tests/host/temp_directory.h"
#include "vfs/host/host_path.h"

namespace tarnwad {
namespace {

TEST(ChooserStartFolder, TheCurrentPathsFolderWhenItExistsElseHome) {
    vfs::test::TempDirectory dir;
    dir.MakeDirectory("games");
    const std::string home = dir.Join("home");

    EXPECT_EQ(ChooserStartFolder(dir.Join("games/level.wad"), home), dir.Join("games"));
    EXPECT_EQ(ChooserStartFolder(dir.Join("games/removed/level.wad"), home), home);
    EXPECT_EQ(ChooserStartFolder("", home), home) << "nothing chosen yet";
    EXPECT_EQ(ChooserStartFolder("level.wad", home), home) << "no folder in the path";
    dir.WriteFile("file", "x");
    EXPECT_EQ(ChooserStartFolder(dir.Join("file/level.wad"), home), home) << "a file, no folder";
}

TEST(ChooserStartFolder, ARootKeepsItsSeparator) {
    if (vfs::host::HostReadsBackslashAsSeparator()) {
        EXPECT_EQ(ChooserStartFolder("C:\\level.wad", "home"), "C:\\");
    } else {
        EXPECT_EQ(ChooserStartFolder("/level.wad", "home"), "/");
        // The library would read the "\" as a separator, and look elsewhere.
        EXPECT_EQ(ChooserStartFolder("/tmp\\x/level.wad", "home"), "home");
    }
}

}  // namespace
}  // namespace tarnwad
