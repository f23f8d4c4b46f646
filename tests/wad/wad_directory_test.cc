// Loading an archive's tree: order, case folding, lookups, load failures and
// the records that are kept out of the tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wad/fake_archive_stream.h"
#include "vfs/wad/wad_directory.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_finder.h"
#include "vfs/wad/wad_header.h"
#include "vfs/wad/wad_path_hash.h"

namespace {

using vfs::WadDirectory;
using vfs::WadRejectReason;
using wadtest::ArchiveOf;
using wadtest::LoadArchive;
using wadtest::Matches;
using Names = std::vector<std::string>;

// The tests that do not depend on where the names lie run for every version.
class WadDirectoryVersionTest : public testing::TestWithParam<uint32_t> {};

INSTANTIATE_TEST_SUITE_P(AllVersions, WadDirectoryVersionTest, testing::Values(0u, 1u, 2u));

TEST_P(WadDirectoryVersionTest, SubdirectoriesNewestFirstFilesInRecordOrder) {
    WadDirectory directory;
    ASSERT_TRUE(
        LoadArchive(directory, ArchiveOf({"a\\x", "b\\y", "a\\z", "top"}, GetParam())).Succeeded());
    EXPECT_EQ(Matches(directory, "*.*"), (Names{"d:b", "d:a", "f:top:1"}));
    EXPECT_EQ(Matches(directory, "a\\*.*"), (Names{"f:a\\x:1", "f:a\\z:1"}));
}

TEST_P(WadDirectoryVersionTest, FoldsCaseAndSlashesIntoOneDirectory) {
    WadDirectory directory;
    ASSERT_TRUE(
        LoadArchive(directory, ArchiveOf({"Data\\Maps\\a.txt", "data/maps/B.TXT"}, GetParam()))
            .Succeeded());
    EXPECT_EQ(Matches(directory, "*"), (Names{"d:data"}));
    EXPECT_EQ(Matches(directory, "DATA\\MAPS\\*"),
              (Names{"f:data\\maps\\a.txt:1", "f:data\\maps\\b.txt:1"}));
    // Exact lookups find both whatever the case, by hash and name.
    EXPECT_EQ(Matches(directory, "data\\maps\\B.txt"), (Names{"f:data\\maps\\b.txt:1"}));
    EXPECT_EQ(Matches(directory, "Data/Maps/A.TXT"), (Names{"f:data\\maps\\a.txt:1"}));
}

TEST_P(WadDirectoryVersionTest, EmptyArchiveHasAnEmptyRoot) {
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({}, GetParam())).Succeeded());
    ASSERT_NE(directory.Root(), nullptr);
    EXPECT_EQ(Matches(directory, "*.*"), Names{});
}

TEST(WadDirectoryTest, VersionTwoNamesPointIntoTheTableOthersAreCopies) {
    for (uint32_t version : {0u, 2u}) {
        WadDirectory directory;
        ASSERT_TRUE(LoadArchive(directory, ArchiveOf({"d\\f"}, version)).Succeeded());
        const vfs::WadDirNode* d = directory.Root()->subdirectories.head;
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->name.OwnsName(), version != 2);
        EXPECT_EQ(d->files.head->name.OwnsName(), version != 2);
        EXPECT_EQ(d->files.head->recordOffset, 88u);
    }
}

TEST(WadDirectoryTest, RecordsAfterSubdirectoriesStillBelongToTheRoot) {
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({"a\\b\\c", "a\\d", "root.txt"})).Succeeded());
    EXPECT_EQ(Matches(directory, "*"), (Names{"d:a", "f:root.txt:1"}));
    EXPECT_EQ(Matches(directory, "a\\*"), (Names{"d:a\\b", "f:a\\d:1"}));
    EXPECT_EQ(Matches(directory, "a\\b\\*"), (Names{"f:a\\b\\c:1"}));
}

TEST(WadDirectoryTest, DirectoryAndFileOfOneNameAreBothReportedDirectoryFirst) {
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({"same", "same\\inner"})).Succeeded());
    EXPECT_EQ(Matches(directory, "same"), (Names{"d:same", "f:same:1"}));
    EXPECT_EQ(Matches(directory, "SAME\\inner"), (Names{"f:same\\inner:1"}));
}

TEST(WadDirectoryTest, SameNamesInDifferentDirectoriesAreDistinct) {
    vfs::WadWriter writer;
    writer.AddFile("a\\n.txt", std::vector<uint8_t>(3));
    writer.AddFile("b\\n.txt", std::vector<uint8_t>(5));
    writer.AddFile("n.txt", std::vector<uint8_t>(7));
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, writer.Finish()).Succeeded());
    EXPECT_EQ(Matches(directory, "b\\n.txt"), (Names{"f:b\\n.txt:5"}));
    EXPECT_EQ(Matches(directory, "a\\n.txt"), (Names{"f:a\\n.txt:3"}));
    EXPECT_EQ(Matches(directory, "n.txt"), (Names{"f:n.txt:7"}));
    EXPECT_EQ(Matches(directory, "c\\n.txt"), Names{});
}

TEST(WadDirectoryTest, ExactLookupComparesTheHashBeforeTheName) {
    vfs::WadWriter writer;
    writer.AddFile("dir\\wrong", std::vector<uint8_t>(1));
    writer.AddFile("dir\\right", std::vector<uint8_t>(2));
    writer.AddFile("dir\\twin", std::vector<uint8_t>(3));
    writer.SetPathHash(0, 12345);
    // Entry 2 carries entry 1's hash: the hash alone must not match it.
    writer.SetPathHash(2, vfs::WadPathHash("dir\\right"));
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, writer.Finish()).Succeeded());
    EXPECT_EQ(Matches(directory, "dir\\wrong"), Names{});
    EXPECT_EQ(Matches(directory, "dir\\right"), (Names{"f:dir\\right:2"}));
    EXPECT_EQ(Matches(directory, "dir\\twin"), Names{});
    // A pattern does not look at hashes.
    EXPECT_EQ(Matches(directory, "dir\\wron?"), (Names{"f:dir\\wrong:1"}));
}

TEST(WadDirectoryTest, LookupTrimsOneSeparatorAtEachEnd) {
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({"data\\maps\\a"})).Succeeded());
    EXPECT_EQ(Matches(directory, "\\Data\\Maps\\"), (Names{"d:data\\maps"}));
    EXPECT_EQ(Matches(directory, "/data/maps/a"), (Names{"f:data\\maps\\a:1"}));
    EXPECT_EQ(Matches(directory, "\\\\data"), Names{});  // only one is trimmed
}

TEST(WadDirectoryTest, EmptyLookupPathReportsEverySubdirectoryOfTheRoot) {
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({"x\\1", "y\\2", "file"})).Succeeded());
    // Exact mode with an empty leaf: every subdirectory, and no file (none
    // has an empty name).
    EXPECT_EQ(Matches(directory, "\\"), (Names{"d:y", "d:x"}));
    EXPECT_EQ(Matches(directory, ""), (Names{"d:y", "d:x"}));
}

TEST(WadDirectoryTest, WildcardsInTheDirectoryPartAreLiteral) {
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({"dir1\\x", "dir2\\x"})).Succeeded());
    EXPECT_EQ(Matches(directory, "dir*\\x"), Names{});
    EXPECT_EQ(Matches(directory, "dir1\\?"), (Names{"f:dir1\\x:1"}));
}

TEST(WadDirectoryTest, MatchesBeforeLoadAfterClearAndAfterTheEndFail) {
    WadDirectory directory;
    vfs::FindData data;
    EXPECT_TRUE(directory.FirstMatch("*", &data).Failed());
    EXPECT_TRUE(directory.NextMatch(&data).Failed());

    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({"only"})).Succeeded());
    EXPECT_TRUE(directory.NextMatch(&data).Failed());  // never started
    ASSERT_TRUE(directory.FirstMatch("*", &data).Succeeded());
    EXPECT_STREQ(data.name, "only");
    EXPECT_TRUE(directory.NextMatch(&data).Failed());
    EXPECT_STREQ(data.path, "only");  // untouched
    EXPECT_EQ(data.attributes, 0x81u);

    directory.Clear();
    EXPECT_EQ(directory.Root(), nullptr);
    EXPECT_TRUE(directory.FirstMatch("*", &data).Failed());
}

TEST(WadDirectoryTest, FillWritesTimesAttributesAndTheNamePointer) {
    vfs::WadWriter writer;
    writer.AddFile("Sub\\Dir\\File.Bin", std::vector<uint8_t>(12), vfs::WadCoding::STORED);
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, writer.Finish()).Succeeded());
    vfs::FindData data;
    data.lastWriteTime = data.lastAccessTime = data.creationTime = 42;
    ASSERT_TRUE(directory.FirstMatch("sub\\*", &data).Succeeded());
    EXPECT_STREQ(data.path, "sub\\dir");
    EXPECT_STREQ(data.name, "dir");
    EXPECT_EQ(data.attributes, 0x10u);
    EXPECT_EQ(data.size, 0u);
    EXPECT_EQ(data.lastWriteTime + data.lastAccessTime + data.creationTime, 0u);
    ASSERT_TRUE(directory.FirstMatch("sub\\dir\\file.bin", &data).Succeeded());
    EXPECT_STREQ(data.path, "sub\\dir\\file.bin");
    EXPECT_EQ(data.name, data.path + 8);
    EXPECT_EQ(data.attributes, 0x81u);
    EXPECT_EQ(data.size, 12u);
}

TEST(WadDirectoryTest, SizeIsUnpackedSizeWhenAnyFlagIsSet) {
    vfs::WadWriter writer;
    const uint8_t bytes[4] = {1, 2, 3, 4};
    writer.AddRawEntry("stored", bytes, 4, 0, 1000);
    writer.AddRawEntry("odd", bytes, 4, 0x8, 1000);
    writer.AddRawEntry("refused", bytes, 4, vfs::WAD_FLAG_REFUSED, 2000);
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, writer.Finish()).Succeeded());
    EXPECT_EQ(Matches(directory, "*"), (Names{"f:stored:4", "f:odd:1000", "f:refused:2000"}));
}

TEST(WadFinderTest, StartGivesTheRecordOffsetOfAFileMatchOnly) {
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({"a", "b", "b\\c"})).Succeeded());
    vfs::WadFinder finder;
    EXPECT_TRUE(finder.AtEnd());  // never started
    uint32_t offset = 99;
    finder.Start(directory, "B", &offset);
    EXPECT_EQ(offset, 0u);  // the directory b comes first
    ASSERT_NE(finder.MatchedDirectory(), nullptr);
    finder.Advance();
    ASSERT_NE(finder.MatchedFile(), nullptr);
    EXPECT_EQ(finder.MatchedFile()->recordOffset, 128u);
    finder.Start(directory, "b\\c", &offset);
    EXPECT_EQ(offset, 168u);
    finder.Start(directory, "nothing", &offset);
    EXPECT_EQ(offset, 0u);
    EXPECT_TRUE(finder.AtEnd());
    finder.Advance();
    EXPECT_TRUE(finder.AtEnd());
}

TEST(WadDirectoryTest, ReloadReplacesTheTreeAndReusesThePools) {
    WadDirectory directory;
    std::vector<std::string> many;
    for (int i = 0; i < 250; ++i) {
        many.push_back("d" + std::to_string(i) + "\\f");
    }
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf(many)).Succeeded());
    EXPECT_EQ(Matches(directory, "*").size(), 250u);
    EXPECT_EQ(Matches(directory, "*").front(), "d:d249");
    EXPECT_EQ(Matches(directory, "d0\\*"), (Names{"f:d0\\f:1"}));
    vfs::FindData data;
    ASSERT_TRUE(directory.FirstMatch("*", &data).Succeeded());
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({"new"}, 0)).Succeeded());
    EXPECT_TRUE(directory.NextMatch(&data).Failed());  // the shared finder was replaced
    EXPECT_EQ(Matches(directory, "*"), (Names{"f:new:1"}));
}

// --- Load failures ---

TEST(WadDirectoryLoadTest, RefusesWhatIsNotAnArchive) {
    std::vector<uint8_t> good = ArchiveOf({"a"}, 1);
    WadDirectory directory;
    EXPECT_TRUE(
        LoadArchive(directory, std::vector<uint8_t>(good.begin(), good.begin() + 87)).Failed());
    std::vector<uint8_t> magic = good;
    magic[0] = 'X';
    EXPECT_TRUE(LoadArchive(directory, magic).Failed());
    std::vector<uint8_t> version3 = good;
    wadtest::Patch32(version3, wadtest::VERSION_AT, 3);
    EXPECT_TRUE(LoadArchive(directory, version3).Failed());
    EXPECT_TRUE(LoadArchive(directory, good).Succeeded());
}

TEST(WadDirectoryLoadTest, RefusesAShortRecordTable) {
    std::vector<uint8_t> archive = ArchiveOf({"a", "b"}, 1);
    wadtest::Patch32(archive, wadtest::ENTRY_COUNT_AT, 1000);
    WadDirectory directory;
    EXPECT_TRUE(LoadArchive(directory, archive).Failed());
    EXPECT_TRUE(LoadArchive(directory, archive, /*reportSize=*/false).Failed());
}

TEST(WadDirectoryLoadTest, HugeEntryCountsFailWithoutWrappingOrHugeReads) {
    for (uint32_t count : {0x01000000u, 0x06666667u, 0x40000000u, 0xFFFFFFFFu}) {
        // 40 * 0x06666667 wraps to 24 in 32 bits: two records would look
        // like enough.
        std::vector<uint8_t> archive = ArchiveOf({"a", "b"}, 0);
        wadtest::Patch32(archive, wadtest::ENTRY_COUNT_AT, count);
        for (bool reportSize : {true, false}) {
            auto* stream = new wadtest::FakeArchiveStream(archive);
            stream->reportSize = reportSize;
            vfs::StreamRef ref;
            ref.Set(stream);
            WadDirectory directory;
            EXPECT_TRUE(directory.Load(ref, false).Failed()) << count;
            EXPECT_LE(stream->largestRead, 256 * 1024) << count;
        }
    }
}

TEST(WadDirectoryLoadTest, AnEmptyNameTableLoadsWhereverItLies) {
    std::vector<uint8_t> archive = ArchiveOf({"a"}, 2);
    vfs::WadHeader header = vfs::WadHeader::Decode(archive.data());
    header.nameTableOffset = 0xFFFFFFF0u;
    header.nameTableSize = 0;
    header.Encode(archive.data());
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, archive).Succeeded());
    EXPECT_EQ(Matches(directory, "*"), Names{});
    ASSERT_EQ(directory.RejectedRecords().size(), 1u);
    EXPECT_EQ(directory.RejectedRecords()[0].reason, WadRejectReason::NAME_OUTSIDE_TABLE);
}

TEST(WadDirectoryLoadTest, RefusesAnUnreadableNameTable) {
    std::vector<uint8_t> archive = ArchiveOf({"a\\b", "c"}, 2);
    WadDirectory directory;
    std::vector<uint8_t> beyond = archive;
    wadtest::Patch32(beyond, wadtest::NAME_TABLE_SIZE_AT, static_cast<uint32_t>(archive.size()));
    EXPECT_TRUE(LoadArchive(directory, beyond).Failed());
    EXPECT_TRUE(LoadArchive(directory, beyond, false).Failed());
    std::vector<uint8_t> farAway = archive;
    wadtest::Patch32(farAway, wadtest::NAME_TABLE_OFFSET_AT, 0x90000000u);
    EXPECT_TRUE(LoadArchive(directory, farAway).Failed());
    std::vector<uint8_t> huge = archive;
    wadtest::Patch32(huge, wadtest::NAME_TABLE_SIZE_AT, 0xFFFFFFF0u);
    EXPECT_TRUE(LoadArchive(directory, huge, false).Failed());
}

TEST(WadDirectoryLoadTest, RefusesAShortNameReadInVersionsZeroAndOne) {
    for (uint32_t version : {0u, 1u}) {
        std::vector<uint8_t> archive = ArchiveOf({"first", "second"}, version);
        WadDirectory directory;
        std::vector<uint8_t> longName = archive;
        wadtest::Patch32(longName, wadtest::RecordField(1, wadtest::NAME_LENGTH), 5000);
        EXPECT_TRUE(LoadArchive(directory, longName).Failed());
        // The records before the failure stay in the tree.
        EXPECT_EQ(Matches(directory, "*"), (Names{"f:first:1"}));

        std::vector<uint8_t> maxLength = archive;
        wadtest::Patch32(maxLength, wadtest::RecordField(1, wadtest::NAME_LENGTH), 0xFFFFFFFFu);
        EXPECT_TRUE(LoadArchive(directory, maxLength).Failed());
        std::vector<uint8_t> farOffset = archive;
        wadtest::Patch32(farOffset, wadtest::RecordField(0, wadtest::NAME_OFFSET), 0xFFFFFF00u);
        EXPECT_TRUE(LoadArchive(directory, farOffset).Failed());
        std::vector<uint8_t> cut(archive.begin(), archive.end() - 3);  // the last name's end
        EXPECT_TRUE(LoadArchive(directory, cut).Failed());
    }
}

TEST(WadDirectoryLoadTest, EarlierNulInAVersionOneNameShortensIt) {
    std::vector<uint8_t> archive = ArchiveOf({"abc\\def"}, 1);
    size_t nameAt = 88 + 40;  // the name follows the one record
    archive[nameAt] = 'x';
    archive[nameAt + 3] = '\0';  // where the separator was
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, archive).Succeeded());
    EXPECT_EQ(Matches(directory, "*"), (Names{"f:xbc:1"}));
}

// --- Records kept out of the tree ---

struct UnsafeCase {
    const char* path;
    WadRejectReason reason;
};

TEST_P(WadDirectoryVersionTest, UnsafeNamesAreListedNotPlaced) {
    const UnsafeCase cases[] = {
        {"..\\x", WadRejectReason::DOT_COMPONENT},
        {"a\\..\\..\\x", WadRejectReason::DOT_COMPONENT},
        {"a/./x", WadRejectReason::DOT_COMPONENT},
        {"..", WadRejectReason::DOT_COMPONENT},
        {"\\abs", WadRejectReason::EMPTY_COMPONENT},
        {"a\\\\b", WadRejectReason::EMPTY_COMPONENT},
        {"dir\\", WadRejectReason::EMPTY_COMPONENT},
        {"", WadRejectReason::EMPTY_COMPONENT},
        {"c:\\windows\\x", WadRejectReason::COLON},
        {"file:stream", WadRejectReason::COLON},
        {"a*b", WadRejectReason::WILDCARD},
        {"d?r\\x", WadRejectReason::WILDCARD},
        {"tab\there", WadRejectReason::CONTROL_BYTE},
        {"\x1f", WadRejectReason::CONTROL_BYTE},
    };
    std::vector<std::string> paths = {"safe\\first"};
    for (const UnsafeCase& c : cases) {
        paths.push_back(c.path);
    }
    paths.push_back("...\\a..b\\.hidden");  // dots inside names are fine
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf(paths, GetParam())).Succeeded());

    EXPECT_EQ(Matches(directory, "*"), (Names{"d:...", "d:safe"}));
    EXPECT_EQ(Matches(directory, "...\\a..b\\*"), (Names{"f:...\\a..b\\.hidden:1"}));
    const auto& rejected = directory.RejectedRecords();
    ASSERT_EQ(rejected.size(), std::size(cases));
    EXPECT_EQ(directory.RejectedCount(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(rejected[i].index, i + 1);
        EXPECT_EQ(rejected[i].rawPath, cases[i].path);
        EXPECT_EQ(rejected[i].reason, cases[i].reason) << cases[i].path;
        EXPECT_NE(std::string(vfs::WadRejectReasonText(rejected[i].reason)), "");
    }
}

TEST(WadDirectoryRejectTest, RawPathKeepsTheStoredCase) {
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({"Maps/../X"})).Succeeded());
    ASSERT_EQ(directory.RejectedRecords().size(), 1u);
    EXPECT_EQ(directory.RejectedRecords()[0].rawPath, "Maps/../X");
    EXPECT_STREQ(vfs::WadRejectReasonText(WadRejectReason::DOT_COMPONENT),
                 "path has a \".\" or \"..\" component");
}

TEST(WadDirectoryRejectTest, VersionTwoNameOffsetsOutsideTheTable) {
    std::vector<uint8_t> archive = ArchiveOf({"ok", "before", "after", "end"}, 2);
    uint32_t tableOffset = 88 + 4 * 40;
    uint32_t tableSize = 3 + 7 + 6 + 4;
    wadtest::Patch32(archive, wadtest::RecordField(1, wadtest::NAME_OFFSET), tableOffset - 1);
    wadtest::Patch32(archive, wadtest::RecordField(2, wadtest::NAME_OFFSET),
                     tableOffset + tableSize);
    wadtest::Patch32(archive, wadtest::RecordField(3, wadtest::NAME_OFFSET), 0);
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, archive).Succeeded());
    EXPECT_EQ(Matches(directory, "*"), (Names{"f:ok:1"}));
    ASSERT_EQ(directory.RejectedRecords().size(), 3u);
    for (const auto& record : directory.RejectedRecords()) {
        EXPECT_EQ(record.reason, WadRejectReason::NAME_OUTSIDE_TABLE);
    }
}

TEST(WadDirectoryRejectTest, VersionTwoNameWithoutNulBeforeTheTableEnds) {
    std::vector<uint8_t> archive = ArchiveOf({"ok", "last"}, 2);
    uint32_t tableOffset = 88 + 2 * 40;
    // Shrink the table so that it ends just before the last name's NUL.
    wadtest::Patch32(archive, wadtest::NAME_TABLE_SIZE_AT, 3 + 4);
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, archive).Succeeded());
    EXPECT_EQ(Matches(directory, "*"), (Names{"f:ok:1"}));
    ASSERT_EQ(directory.RejectedRecords().size(), 1u);
    EXPECT_EQ(directory.RejectedRecords()[0].reason, WadRejectReason::NAME_NOT_TERMINATED);
    EXPECT_EQ(directory.RejectedRecords()[0].rawPath, "last");
    EXPECT_EQ(archive[tableOffset + 3], 'l');
}

TEST(WadDirectoryRejectTest, VersionOneNameWithoutNulInItsBytes) {
    std::vector<uint8_t> archive = ArchiveOf({"abc", "ok"}, 1);
    // nameLength 1: "ab" is read and has no NUL.
    wadtest::Patch32(archive, wadtest::RecordField(0, wadtest::NAME_LENGTH), 1);
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, archive).Succeeded());
    EXPECT_EQ(Matches(directory, "*"), (Names{"f:ok:1"}));
    ASSERT_EQ(directory.RejectedRecords().size(), 1u);
    EXPECT_EQ(directory.RejectedRecords()[0].reason, WadRejectReason::NAME_NOT_TERMINATED);
    EXPECT_EQ(directory.RejectedRecords()[0].rawPath, "ab");
}

TEST_P(WadDirectoryVersionTest, OverlongNamesAreRejectedAfterABoundedRead) {
    std::string longest(vfs::WAD_MAX_PATH_LENGTH, 'n');
    std::string tooLong = longest + "n";
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({longest, tooLong}, GetParam())).Succeeded());
    EXPECT_EQ(Matches(directory, "*").size(), 1u);
    ASSERT_EQ(directory.RejectedRecords().size(), 1u);
    EXPECT_EQ(directory.RejectedRecords()[0].reason, WadRejectReason::NAME_TOO_LONG);
    EXPECT_EQ(directory.RejectedRecords()[0].rawPath.size(), vfs::WadRejectedRecord::MAX_RAW_PATH);
}

TEST(WadDirectoryRejectTest, VersionTwoRecordsSharingNameBytesStayInBounds) {
    // Both records point at one name: the first one splits it in place, the
    // second sees what is left of it.
    std::vector<uint8_t> archive = ArchiveOf({"a\\b\\c", "zzzzz"}, 2);
    uint32_t tableOffset = 88 + 2 * 40;
    wadtest::Patch32(archive, wadtest::RecordField(1, wadtest::NAME_OFFSET), tableOffset);
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, archive).Succeeded());
    EXPECT_EQ(Matches(directory, "*"), (Names{"d:a", "f:a:1"}));
    EXPECT_EQ(Matches(directory, "a\\b\\*"), (Names{"f:a\\b\\c:1"}));
}

TEST(WadDirectoryRejectTest, DeepPathsDoNotRecurse) {
    std::string deep;
    for (uint32_t i = 0; i + 2 < vfs::WAD_MAX_PATH_LENGTH; i += 2) {
        deep += "d\\";
    }
    deep += "f";
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, ArchiveOf({deep}, 0)).Succeeded());
    std::string lookup = deep;
    EXPECT_EQ(Matches(directory, lookup.c_str()), (Names{"f:" + deep + ":1"}));
}

TEST(WadDirectoryRejectTest, RejectionListIsCappedButCounted) {
    vfs::WadWriter writer(0);
    uint32_t total = WadDirectory::MAX_LISTED_REJECTIONS + 5;
    for (uint32_t i = 0; i < total; ++i) {
        writer.AddRawEntry("..", nullptr, 0, 0, 0);
    }
    WadDirectory directory;
    ASSERT_TRUE(LoadArchive(directory, writer.Finish()).Succeeded());
    EXPECT_EQ(directory.RejectedRecords().size(), WadDirectory::MAX_LISTED_REJECTIONS);
    EXPECT_EQ(directory.RejectedCount(), total);
    directory.Clear();
    EXPECT_EQ(directory.RejectedCount(), 0u);
    EXPECT_TRUE(directory.RejectedRecords().empty());
}

}  // namespace
