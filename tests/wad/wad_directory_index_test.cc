// Exact lookups through the directories' name indexes: the same matches, in
// the same order, as a walk of the whole lists would give, in directories
// large enough to have an index and across its growth.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench/colliding_names.h"
#include "tests/wad/fake_archive_stream.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_writer.h"

namespace {

using vfs::WadDirectory;
using wadtest::LoadArchive;
using wadtest::Matches;
using Names = std::vector<std::string>;

// What an exact lookup of `path` (lower case, "\" separated) must report:
// the subdirectory of that name, then the files of that name, in list order,
// taken from an enumeration of the whole directory.
Names ExpectedExact(WadDirectory& directory, const std::string& path) {
    const size_t slash = path.rfind('\\');
    const std::string parent = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    Names expected;
    for (const std::string& match : Matches(directory, (parent + "*").c_str())) {
        const bool isDirectory = match[0] == 'd';
        const std::string matchPath =
            isDirectory ? match.substr(2) : match.substr(2, match.rfind(':') - 2);
        if (matchPath == path) {
            expected.push_back(match);
        }
    }
    return expected;
}

// A directory of 2,000 files, some of whose names come again in later
// records, 20 subdirectories, and a file named like one of them.
std::vector<std::string> CrowdedPaths() {
    std::vector<std::string> paths;
    for (int i = 0; i < 2000; ++i) {
        paths.push_back("big\\f" + std::to_string(i) + ".dat");
        if (i % 100 == 99) {
            paths.push_back("big\\f" + std::to_string(i - 50) + ".dat");  // a second record
        }
        if (i % 100 == 0) {
            paths.push_back("big\\sub" + std::to_string(i / 100) + "\\inner.txt");
        }
        if (i == 1000) {
            paths.push_back("big\\f7.dat");  // a second record of one name, mid-way
        }
    }
    paths.push_back("big\\sub3");
    paths.push_back("big\\f7.dat");  // a third record of one name, at the end
    return paths;
}

TEST(WadDirectoryIndexTest, ExactLookupsInACrowdedDirectoryMatchTheListWalk) {
    for (uint32_t version : {0u, 2u}) {
        WadDirectory directory;
        ASSERT_TRUE(
            LoadArchive(directory, wadtest::ArchiveOf(CrowdedPaths(), version)).Succeeded());
        for (int i = 0; i < 2000; i += 37) {
            const std::string path = "big\\f" + std::to_string(i) + ".dat";
            EXPECT_EQ(Matches(directory, path.c_str()), ExpectedExact(directory, path)) << path;
        }
        EXPECT_EQ(Matches(directory, "big\\f7.dat"),
                  (Names{"f:big\\f7.dat:1", "f:big\\f7.dat:1", "f:big\\f7.dat:1"}));
        EXPECT_EQ(Matches(directory, "big\\f150.dat").size(), 1u);
        EXPECT_EQ(Matches(directory, "BIG/F49.DAT"),
                  (Names{"f:big\\f49.dat:1", "f:big\\f49.dat:1"}));
        EXPECT_EQ(Matches(directory, "big\\sub3"), (Names{"d:big\\sub3", "f:big\\sub3:1"}));
        EXPECT_EQ(Matches(directory, "big\\sub17\\inner.txt"),
                  (Names{"f:big\\sub17\\inner.txt:1"}));
        EXPECT_EQ(Matches(directory, "big\\f2000.dat"), Names{});
        EXPECT_EQ(Matches(directory, "big\\sub20\\inner.txt"), Names{});
    }
}

TEST(WadDirectoryIndexTest, AStoredHashThatDisagreesHidesOnlyThatRecordFromExactLookups) {
    vfs::WadWriter writer(2);
    const uint8_t byte = 'x';
    for (int i = 0; i < 100; ++i) {
        writer.AddFile(("d\\n" + std::to_string(i)).c_str(), &byte, 1);
    }
    writer.AddFile("d\\n5", &byte, 1);  // index 100: a second record of d\n5
    writer.SetPathHash(5, 12345);       // the first record of d\n5 hashes wrongly
    writer.SetPathHash(60, 0);          // and so does d\n60, its only record
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, writer.Finish()).Succeeded());
    EXPECT_EQ(Matches(directory, "d\\n5"), (Names{"f:d\\n5:1"}));
    EXPECT_EQ(Matches(directory, "d\\n60"), Names{});
    // Wildcards do not compare hashes.
    EXPECT_EQ(Matches(directory, "d\\n6?"),
              (Names{"f:d\\n60:1", "f:d\\n61:1", "f:d\\n62:1", "f:d\\n63:1", "f:d\\n64:1",
                     "f:d\\n65:1", "f:d\\n66:1", "f:d\\n67:1", "f:d\\n68:1", "f:d\\n69:1"}));
    EXPECT_EQ(Matches(directory, "d\\n5*").size(), 12u);
}

TEST(WadDirectoryIndexTest, ManySubdirectoriesAreFoundByNameAndStillListedNewestFirst) {
    std::vector<std::string> paths;
    for (int i = 0; i < 300; ++i) {
        paths.push_back("s" + std::to_string(i) + "\\file");
    }
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, wadtest::ArchiveOf(paths)).Succeeded());
    EXPECT_EQ(Matches(directory, "S123"), (Names{"d:s123"}));
    EXPECT_EQ(Matches(directory, "s299\\file"), (Names{"f:s299\\file:1"}));
    EXPECT_EQ(Matches(directory, "s300"), Names{});
    // An empty name after trimming passes every subdirectory, in list order.
    const Names all = Matches(directory, "\\");
    ASSERT_EQ(all.size(), 300u);
    EXPECT_EQ(all.front(), "d:s299");
    EXPECT_EQ(all.back(), "d:s0");
    EXPECT_EQ(Matches(directory, "*"), all);
}

TEST(WadDirectoryIndexTest, NamesOfOneFnvHashAreAllFoundAndListedInOrder) {
    // Names that all share one 32-bit FNV-1a value: an index placing names
    // by that hash would hold them all in one probe run.
    const std::vector<std::string> names = bench::FnvCollidingNames(4096, bench::kFnv1a32);
    std::vector<std::string> paths;
    for (size_t i = 0; i < 2048; ++i) {
        paths.push_back("d\\" + names[i]);
    }
    for (size_t i = 0; i < 256; ++i) {
        paths.push_back("s\\" + names[i] + "\\x");
    }
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, wadtest::ArchiveOf(paths)).Succeeded());
    Names files;
    for (size_t i = 0; i < 2048; ++i) {
        files.push_back("f:d\\" + names[i] + ":1");
        ASSERT_EQ(Matches(directory, ("d\\" + names[i]).c_str()), Names{files.back()});
    }
    EXPECT_EQ(Matches(directory, ("d\\" + names.back()).c_str()), Names{});
    EXPECT_EQ(Matches(directory, "d\\*"), files);
    Names subdirectories;
    for (size_t i = 256; i-- > 0;) {
        subdirectories.push_back("d:s\\" + names[i]);
        ASSERT_EQ(Matches(directory, ("s\\" + names[i] + "\\x").c_str()),
                  Names{"f:s\\" + names[i] + "\\x:1"});
    }
    EXPECT_EQ(Matches(directory, "s\\*"), subdirectories);
}

TEST(WadDirectoryIndexTest, AReloadedTreeHasFreshIndexes) {
    std::vector<std::string> first;
    std::vector<std::string> second;
    for (int i = 0; i < 500; ++i) {
        first.push_back("a\\x" + std::to_string(i));
        second.push_back("a\\y" + std::to_string(i));
    }
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, wadtest::ArchiveOf(first)).Succeeded());
    EXPECT_EQ(Matches(directory, "a\\x250"), (Names{"f:a\\x250:1"}));
    ASSERT_TRUE(LoadArchive(directory, wadtest::ArchiveOf(second, 0)).Succeeded());
    EXPECT_EQ(Matches(directory, "a\\x250"), Names{});
    EXPECT_EQ(Matches(directory, "a\\y250"), (Names{"f:a\\y250:1"}));
    EXPECT_EQ(Matches(directory, "a\\y499"), (Names{"f:a\\y499:1"}));
}

}  // namespace
