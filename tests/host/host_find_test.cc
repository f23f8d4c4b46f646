#include "vfs/host/host_find.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "tests/host/temp_directory.h"
#include "vfs/host/host_directory.h"

namespace vfs::host {
namespace {

using test::TempDirectory;

class HostFindTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.Valid());
        dir.WriteFile("readme", "12345");
        dir.WriteFile("a.txt", "a");
        dir.WriteFile("b.TXT", "bb");
        dir.WriteFile("ab.dat", "");
        dir.WriteFile("c", "");
        dir.MakeDirectory("sub.d");
    }

    // Every name that `pattern` (relative to the directory) finds.
    std::multiset<std::string> Find(const std::string& pattern) {
        std::multiset<std::string> names;
        Finder finder;
        FoundEntry entry;
        std::string full = dir.Path() + "/" + pattern;
        if (!finder.First(full.c_str(), &entry)) {
            EXPECT_FALSE(finder.IsOpen());
            return names;
        }
        do {
            names.insert(entry.name);
        } while (finder.Next(&entry));
        EXPECT_FALSE(finder.Next(&entry));  // and again: still the end
        return names;
    }

    TempDirectory dir;
};

using Names = std::multiset<std::string>;

TEST_F(HostFindTest, StarDotStarAndStarMatchEveryNameWithDotAndDotDot) {
    Names all{".", "..", "readme", "a.txt", "b.TXT", "ab.dat", "c", "sub.d"};
    EXPECT_EQ(all, Find("*.*"));
    EXPECT_EQ(all, Find("*"));
}

TEST_F(HostFindTest, WildcardsInTheLastComponent) {
    // Letters match exactly, as the host's own lookups do.
    EXPECT_EQ((Names{"a.txt"}), Find("*.txt"));
    EXPECT_EQ((Names{"b.TXT"}), Find("*.TXT"));
    EXPECT_EQ((Names{"a.txt", "ab.dat"}), Find("a*"));
    EXPECT_EQ((Names{".", "c"}), Find("?"));
    EXPECT_EQ((Names{"ab.dat"}), Find("?*.?a?"));
    EXPECT_EQ((Names{"readme"}), Find("readme.*"));  // ".*" also matches no dot
    EXPECT_EQ((Names{"readme"}), Find("readme"));
    EXPECT_EQ((Names{}), Find("README"));
    EXPECT_EQ((Names{}), Find("*.none"));
    EXPECT_EQ((Names{}), Find(""));  // no name to match
}

TEST_F(HostFindTest, PatternsBelowASubdirectoryAndWithBackslashes) {
    dir.WriteFile("sub.d/inner.txt", "xyz");
    std::string pattern = dir.Path() + "\\sub.d\\*.*";
    Finder finder;
    FoundEntry entry;
    std::set<std::string> names;
    ASSERT_TRUE(finder.First(pattern.c_str(), &entry));
    do {
        names.insert(entry.name);
    } while (finder.Next(&entry));
    EXPECT_EQ((std::set<std::string>{".", "..", "inner.txt"}), names);

    std::string missing = dir.Path() + "/nowhere/*.*";
    EXPECT_FALSE(finder.First(missing.c_str(), &entry));
    EXPECT_FALSE(finder.IsOpen());
    EXPECT_FALSE(finder.Next(&entry));
}

TEST_F(HostFindTest, EntryDetails) {
    std::map<std::string, FoundEntry> found;
    Finder finder;
    FoundEntry entry;
    std::string pattern = dir.Path() + "/*";
    ASSERT_TRUE(finder.First(pattern.c_str(), &entry));
    do {
        found[entry.name] = entry;
    } while (finder.Next(&entry));

    EXPECT_EQ(5u, found["readme"].size);
    EXPECT_EQ(ATTRIBUTE_NORMAL, found["readme"].attributes);
    EXPECT_EQ(ATTRIBUTE_DIRECTORY, found["sub.d"].attributes);
    EXPECT_EQ(ATTRIBUTE_DIRECTORY, found["."].attributes);
    EXPECT_EQ(ATTRIBUTE_DIRECTORY, found[".."].attributes & ATTRIBUTE_DIRECTORY);

    // Times count 100 ns from 1601: the file was written just now.
    auto sinceUnixEpoch = std::chrono::system_clock::now().time_since_epoch();
    int64_t nowSeconds = std::chrono::duration_cast<std::chrono::seconds>(sinceUnixEpoch).count();
    uint64_t now = static_cast<uint64_t>(nowSeconds + 11644473600) * 10000000u;
    uint64_t minute = 60u * 10000000u;
    const FoundEntry& readme = found["readme"];
    EXPECT_LT(readme.lastWriteTime, now + minute);
    EXPECT_GT(readme.lastWriteTime, now - minute);
    EXPECT_GT(readme.lastAccessTime, now - minute);
    EXPECT_GT(readme.creationTime, now - minute);
    EXPECT_LE(readme.creationTime, readme.lastWriteTime + minute);
}

TEST_F(HostFindTest, LinksAreMarkedAndOneNameIsLookedUpWithoutAListing) {
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

TEST_F(HostFindTest, ReplacePathReplacesALinkNeverWhatItLeadsTo) {
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
