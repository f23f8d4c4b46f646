// What the host layer does on Windows only: "\\" kept, as the host reads it
// as a separator; letters matched regardless of case; drive letters; the
// command line as the host gives it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/host/temp_directory.h"
#include "vfs/host/command_line.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_file.h"
#include "vfs/host/host_find.h"
#include "vfs/host/host_limits.h"
#include "vfs/host/host_path.h"
#include "vfs/host/lead_byte.h"
#include "vfs/host/path_drive.h"

namespace vfs::host {
namespace {

using test::TempDirectory;

TEST(HostPathWin32Test, PathsAreKeptAsTheyAre) {
    HostPath path("C:\\games\\out/dir\\a b.TXT");
    ASSERT_TRUE(path.IsValid());
    EXPECT_STREQ("C:\\games\\out/dir\\a b.TXT", path.c_str());
    EXPECT_TRUE(HostReadsBackslashAsSeparator());
    EXPECT_EQ(260u, HOST_MAX_PATH);
}

TEST(HostCommandLineWin32Test, BeginsWithTheExecutablePath) {
    std::string line = GetCommandLine();
    ASSERT_GE(line.size(), 3u);
    size_t start = line.front() == '"' ? 1 : 0;
    EXPECT_NE(line.find("host_tests"), std::string::npos);
    EXPECT_EQ(GetDriveLength(line.c_str() + start), 2u) << line << ": a path with its drive";
}

TEST(HostPathSyntaxWin32Test, DrivesAndLeadBytes) {
    EXPECT_EQ(GetDriveLength("C:\\games"), 2u);
    EXPECT_EQ(GetDriveLength("c:level.wad"), 2u);
    EXPECT_EQ(GetDriveLength("\\games"), 0u);
    EXPECT_EQ(GetDriveLength("games\\level.wad"), 0u);
    for (int byte = 0; byte < 0x80; ++byte) {
        EXPECT_FALSE(IsLeadByte(static_cast<uint8_t>(byte))) << byte;
    }
}

class HostWin32Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.Valid());
        dir.WriteFile("readme", "12345");
        dir.WriteFile("a.txt", "a");
        dir.WriteFile("b.TXT", "bb");
    }

    std::set<std::string> Find(const std::string& pattern) {
        std::set<std::string> names;
        Finder finder;
        FoundEntry entry;
        std::string full = dir.Path() + "\\" + pattern;
        for (bool more = finder.First(full.c_str(), &entry); more; more = finder.Next(&entry)) {
            names.insert(entry.name);
        }
        return names;
    }

    TempDirectory dir;
};

TEST_F(HostWin32Test, LettersMatchRegardlessOfCase) {
    using Names = std::set<std::string>;
    EXPECT_EQ((Names{"a.txt", "b.TXT"}), Find("*.txt"));
    EXPECT_EQ((Names{"a.txt", "b.TXT"}), Find("*.TXT"));
    EXPECT_EQ((Names{"readme"}), Find("README"));
    // A file opens by any case of its name, and a directory is one name.
    File file;
    EXPECT_TRUE(file.Open((dir.Path() + "\\README").c_str(), ACCESS_READ, SHARE_READ,
                          Disposition::OpenExisting));
    EXPECT_FALSE(MakeDirectory((dir.Path() + "\\A.TXT").c_str()));
}

TEST_F(HostWin32Test, DevicesNeverOpenAsFiles) {
    for (const char* device : {"NUL", "CON", "COM1", "\\\\.\\NUL"}) {
        File file;
        EXPECT_FALSE(
            file.Open(device, ACCESS_WRITE, SHARE_READ | SHARE_WRITE, Disposition::OpenExisting))
            << device;
    }
}

}  // namespace
}  // namespace vfs::host
