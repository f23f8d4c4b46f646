#include "vfs/native/path_stream_ref.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/host/temp_directory.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/path_resolution.h"
#include "vfs/stream/mmio_stream.h"
#include "vfs/stream/win32_file_stream.h"

namespace vfs {
namespace {

using test::TempDirectory;

constexpr uint32_t READ_SHARED = OPEN_READ | OPEN_SHARE_READ;

std::string ReadAll(StreamRef& ref) {
    std::string text(static_cast<size_t>(ref.GetSize()), '\0');
    ref.Seek(0, SEEK_FROM_START);
    int32_t n = ref.Read(text.data(), static_cast<int32_t>(text.size()));
    return text.substr(0, n < 0 ? 0 : static_cast<size_t>(n));
}

TEST(PathStreamRefTest, OpensTheFileAfterTheLastSeparatorInTheDirectoryBeforeIt) {
    TempDirectory dir;
    ASSERT_TRUE(dir.Valid());
    dir.MakeDirectory("a");
    dir.WriteFile("a/game.wad", "archive");

    for (const std::string& path :
         {dir.Path() + "/a/game.wad", dir.Path() + "\\a\\game.wad", dir.Path() + "/a\\game.wad"}) {
        PathStreamRef ref;
        ASSERT_EQ(0, ref.OpenPath(path.c_str(), READ_SHARED).status) << path;
        EXPECT_NE(nullptr, dynamic_cast<Win32FileStream*>(ref.Get()));
        // The file system it went through is gone; the stream lives on.
        EXPECT_EQ(1, ref.Get()->GetRefCount());
        EXPECT_EQ("archive", ReadAll(ref));
    }

    PathStreamRef buffered;
    std::string path = dir.Path() + "/a/game.wad";
    ASSERT_EQ(0, buffered.OpenPath(path.c_str(), READ_SHARED | OPEN_BUFFERED).status);
    EXPECT_NE(nullptr, dynamic_cast<MmioStream*>(buffered.Get()));
    EXPECT_EQ("archive", ReadAll(buffered));
}

TEST(PathStreamRefTest, FailuresLeaveTheHandleAsItWas) {
    TempDirectory dir;
    ASSERT_TRUE(dir.Valid());
    dir.WriteFile("f", "x");
    PathStreamRef ref;
    EXPECT_EQ(-1, ref.OpenPath((dir.Path() + "/nowhere/f").c_str(), READ_SHARED).status);
    EXPECT_EQ(-1, ref.OpenPath((dir.Path() + "/missing").c_str(), READ_SHARED).status);
    EXPECT_EQ(-1, ref.OpenPath(nullptr, READ_SHARED).status);
    EXPECT_EQ(nullptr, ref.Get());

    ASSERT_EQ(0, ref.OpenPath((dir.Path() + "/f").c_str(), READ_SHARED).status);
    Stream* held = ref.Get();
    EXPECT_EQ(-1, ref.OpenPath((dir.Path() + "/f").c_str(), READ_SHARED).status);
    EXPECT_EQ(held, ref.Get());
}

TEST(PathStreamRefTest, ABareNameOpensInTheBaseDirectory) {
    std::string base = GetBaseDirectory();
    ASSERT_FALSE(base.empty());
    std::string name = "path_stream_ref_test.tmp";
    {
        std::ofstream out(base + name, std::ios::binary);
        out << "beside the program";
    }
    PathStreamRef ref;
    EXPECT_EQ(0, ref.OpenPath(name.c_str(), READ_SHARED).status);
    EXPECT_EQ("beside the program", ReadAll(ref));
    ref.Reset();
    std::filesystem::remove(base + name);
}

// A path whose only separator is its first character names a file below the
// root, not a file of the base directory.
TEST(PathStreamRefTest, AFileBelowTheRootIsNotLookedForInTheBaseDirectory) {
    std::string base = GetBaseDirectory();
    ASSERT_FALSE(base.empty());
    std::string name = "path_stream_ref_root_test.tmp";
    ASSERT_FALSE(std::filesystem::exists("/" + name));
    {
        std::ofstream out(base + name, std::ios::binary);
        out << "beside the program";
    }
    PathStreamRef ref;
    EXPECT_EQ(-1, ref.OpenPath(("/" + name).c_str(), READ_SHARED).status);
    EXPECT_EQ(-1, ref.OpenPath(("\\" + name).c_str(), READ_SHARED).status);
    EXPECT_EQ(nullptr, ref.Get());
    std::filesystem::remove(base + name);
}

}  // namespace
}  // namespace vfs
