// What the host layer does on POSIX hosts only: "\\" read as a separator,
// letters matched exactly, symbolic links, no drives, no lead bytes, and a
// command line made of the executable's quoted path.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "tests/host/temp_directory.h"
#include "vfs/host/command_line.h"
#include "vfs/host/host_directory.h"
#include "vfs/host/host_find.h"
#include "vfs/host/host_path.h"
#include "vfs/host/lead_byte.h"
#include "vfs/host/path_drive.h"

namespace vfs::host {
namespace {

using test::TempDirectory;

TEST(HostPathPosixTest, BackslashesBecomeSlashesAndNothingElseChanges) {
    HostPath path("\\tmp\\out/dir\\a b.TXT");
    ASSERT_TRUE(path.IsValid());
    EXPECT_STREQ("/tmp/out/dir/a b.TXT", path.c_str());
    EXPECT_FALSE(HostReadsBackslashAsSeparator());
}

TEST(HostCommandLinePosixTest, QuotesTheExecutablePath) {
    std::string line = GetCommandLine();
    ASSERT_GE(line.size(), 3u);
    EXPECT_EQ(line.front(), '"');
    EXPECT_EQ(line.back(), '"');
    EXPECT_NE(line.find("host_tests"), std::string::npos);
    EXPECT_EQ(line[1], '/') << "an absolute path";
}

TEST(HostPathSyntaxPosixTest, ThisHostHasNoDrivesAndNoLeadBytes) {
    EXPECT_EQ(GetDriveLength("C:\\games"), 0u);
    EXPECT_EQ(GetDriveLength("/usr"), 0u);
    for (int byte = 0; byte < 256; ++byte) {
        EXPECT_FALSE(IsLeadByte(static_cast<uint8_t>(byte)));
    }
}

class HostFindPosixTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.Valid());
        dir.WriteFile("readme", "12345");
        dir.WriteFile("a.txt", "a");
        dir.WriteFile("b.TXT", "bb");
        dir.MakeDirectory("sub.d");
    }

    std::multiset<std::string> Find(const std::string& pattern) {
        std::multiset<std::string> names;
        Finder finder;
        FoundEntry entry;
        std::string full = dir.Path() + "/" + pattern;
        for (bool more = finder.First(full.c_str(), &entry); more; more = finder.Next(&entry)) {
            names.insert(entry.name);
        }
        return names;
    }

    TempDirectory dir;
};

using Names = std::multiset<std::string>;

TEST_F(HostFindPosixTest, LettersMatchExactly) {
    EXPECT_EQ((Names{"a.txt"}), Find("*.txt"));
    EXPECT_EQ((Names{"b.TXT"}), Find("*.TXT"));
    EXPECT_EQ((Names{}), Find("README"));
    EXPECT_EQ((Names{}), Find("A.TXT"));
}

TEST_F(HostFindPosixTest, ADirectoryTakesTheReadOnlyBit) {
    ASSERT_TRUE(SetPathAttributes(dir.Join("sub.d").c_str(), ATTRIBUTE_READONLY));
    EXPECT_EQ(ATTRIBUTE_DIRECTORY | ATTRIBUTE_READONLY,
              GetPathAttributes(dir.Join("sub.d").c_str()));
    ASSERT_TRUE(SetPathAttributes(dir.Join("sub.d").c_str(), 0));
    EXPECT_EQ(ATTRIBUTE_DIRECTORY, GetPathAttributes(dir.Join("sub.d").c_str()));
}

TEST_F(HostFindPosixTest, LinksAreMarkedAndOneNameIsLookedUpWithoutAListing) {
    namespace fs = std::filesystem;
    fs::create_symlink("readme", dir.Join("to-file"));
    fs::create_directory_symlink("sub.d", dir.Join("to-dir"));
    fs::create_symlink("nowhere", dir.Join("dangling"));
    std::map<std::string, FoundEntry> found;
    Finder finder;
    FoundEntry entry;
    std::string pattern = dir.Path() + "/*";
    ASSERT_TRUE(finder.First(pattern.c_str(), &entry));
    do {
        found[entry.name] = entry;
    } while (finder.Next(&entry));
    // A link is reported as what it leads to, marked as a link.
    EXPECT_EQ(ATTRIBUTE_REPARSE_POINT, found["to-file"].attributes);
    EXPECT_EQ(5u, found["to-file"].size);
    EXPECT_EQ(ATTRIBUTE_REPARSE_POINT | ATTRIBUTE_DIRECTORY, found["to-dir"].attributes);
    EXPECT_EQ(ATTRIBUTE_REPARSE_POINT, found["dangling"].attributes);
    EXPECT_EQ(ATTRIBUTE_NORMAL, found["readme"].attributes);

    // The same for one name, looked up directly: the entry is reported and
    // the enumeration ends with it.
    for (const char* name : {"to-dir", "dangling", "sub.d", "readme"}) {
        std::string one = dir.Path() + "/" + name;
        ASSERT_TRUE(finder.First(one.c_str(), &entry)) << name;
        EXPECT_STREQ(name, entry.name);
        EXPECT_EQ(found[name].attributes, entry.attributes) << name;
        EXPECT_FALSE(finder.Next(&entry));
    }
    std::string missing = dir.Path() + "/sub.d/none";
    EXPECT_FALSE(finder.First(missing.c_str(), &entry));
    std::string throughFile = dir.Path() + "/readme/x";
    EXPECT_FALSE(finder.First(throughFile.c_str(), &entry));

    // Attributes of a path answer the same way.
    EXPECT_EQ(ATTRIBUTE_REPARSE_POINT | ATTRIBUTE_DIRECTORY,
              GetPathAttributes(dir.Join("to-dir").c_str()));
    EXPECT_EQ(ATTRIBUTE_REPARSE_POINT, GetPathAttributes(dir.Join("dangling").c_str()));
}

TEST_F(HostFindPosixTest, ReplacePathReplacesALinkNeverWhatItLeadsTo) {
    namespace fs = std::filesystem;
    dir.WriteFile("target", "keep me");
    fs::create_symlink("target", dir.Join("name"));
    dir.WriteFile("new", "fresh");
    ASSERT_TRUE(ReplacePath(dir.Join("new").c_str(), dir.Join("name").c_str()));
    EXPECT_EQ("keep me", dir.ReadFile("target"));
    EXPECT_EQ("fresh", dir.ReadFile("name"));
    EXPECT_FALSE(fs::is_symlink(dir.Join("name")));
    EXPECT_FALSE(dir.Exists("new"));

    // A file replaces a file, but never a directory.
    dir.WriteFile("newer", "fresher");
    ASSERT_TRUE(ReplacePath(dir.Join("newer").c_str(), dir.Join("name").c_str()));
    EXPECT_EQ("fresher", dir.ReadFile("name"));
    EXPECT_FALSE(ReplacePath(dir.Join("name").c_str(), dir.Join("sub.d").c_str()));
    EXPECT_EQ("fresher", dir.ReadFile("name"));
}

}  // namespace
}  // namespace vfs::host
