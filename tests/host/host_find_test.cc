#include "vfs/host/host_find.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <string>

#include "tests/host/attribute_bits.h"
#include "tests/host/temp_directory.h"
#include "vfs/host/host_directory.h"

namespace vfs::host {
namespace {

using test::MeaningfulBits;
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
    // How letter case matches is the host's own (see the platform tests).
    EXPECT_EQ((Names{"a.txt", "ab.dat"}), Find("a*"));
    EXPECT_EQ((Names{".", "c"}), Find("?"));
    EXPECT_EQ((Names{"ab.dat"}), Find("?*.?a?"));
    EXPECT_EQ((Names{"readme"}), Find("readme.*"));  // ".*" also matches no dot
    EXPECT_EQ((Names{"readme"}), Find("readme"));
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
    EXPECT_EQ(0u, MeaningfulBits(found["readme"].attributes));
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

}  // namespace
}  // namespace vfs::host
