// WadEdit: edits committed in place and as a copy read back through the
// archive reader; what the growing record table covers moves out of its way;
// a torn switch is completed from its journal; freed space is reused.
#include "vfs/edit/wad_edit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/host/temp_directory.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/edit/edit_journal.h"
#include "vfs/host/held_directory.h"
#include "vfs/wad/wad_path_hash.h"
#include "vfs/wad/wad_writer.h"

namespace vfs {
namespace {

using Bytes = std::vector<uint8_t>;
// Path as listed -> content, or "!" for an entry that does not open.
using Contents = std::map<std::string, std::string>;

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string Repetitive(size_t size, char first) {
    std::string text(size, first);
    for (size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>(first + (i / 7) % 5);
    }
    return text;
}

class WadEditTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(temp.Valid()); }

    std::string path() const { return temp.Join("game.wad"); }
    Bytes File() const { return ToBytes(temp.ReadFile("game.wad")); }
    void Put(const Bytes& bytes) const {
        temp.WriteFile("game.wad", std::string(bytes.begin(), bytes.end()));
    }

    void Open(WadEdit& edit) const {
        ASSERT_TRUE(edit.Open(path().c_str()).Succeeded()) << LastError().text;
    }

    // What the reader makes of the archive (no editor may hold it open).
    Contents Read() const {
        FileSystemRef fs;
        ErrorReason why;
        EXPECT_TRUE(fs.OpenArchive(path().c_str(), 0, &why).Succeeded()) << why.text;
        Contents contents;
        Walk(fs, "", contents);
        return contents;
    }

    static void Walk(FileSystemRef& fs, const std::string& dir, Contents& contents) {
        std::vector<std::string> files, subdirectories;
        FindData found;
        for (Result r = fs.FindFirst((dir + "*.*").c_str(), &found); r.Succeeded();
             r = fs.FindNext(&found)) {
            ((found.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? subdirectories : files)
                .push_back(found.path);
        }
        for (const std::string& file : files) {
            StreamRef stream;
            std::string& content = contents[file];
            if (fs.OpenFile(stream, file.c_str(), OPEN_READ, 0).Failed()) {
                content = "!";
                continue;
            }
            content.resize(static_cast<size_t>(stream.GetSize()));
            content.resize(static_cast<size_t>(
                std::max(stream.Read(content.data(), static_cast<int32_t>(content.size())), 0)));
        }
        for (const std::string& sub : subdirectories) {
            Walk(fs, sub + "\\", contents);
        }
    }

    test::TempDirectory temp;
    WadEntryCoder coder;
};

// Every coding, every kind of change, for each version and both commits.
class WadEditRoundTrip : public WadEditTest,
                         public ::testing::WithParamInterface<std::tuple<uint32_t, bool>> {};

TEST_P(WadEditRoundTrip, GivesTheReaderTheEditedEntriesAndKeepsTheRest) {
    const auto [version, asCopy] = GetParam();
    const std::string kept = test::PatternedBytes(300);
    WadWriter writer(version);
    writer.AddFile("keep.txt", ToBytes(kept));
    writer.AddFile("Dir\\lz.bin", ToBytes(Repetitive(2000, 'a')), WadCoding::LZ);
    writer.AddFile("dir/z.bin", ToBytes(Repetitive(2000, 'k')), WadCoding::ZLIB);
    writer.AddFile("refused.dat", ToBytes("secret"));
    writer.SetFlags(3, WAD_FLAG_REFUSED);
    writer.AddRawEntry("odd.bin", ToBytes("abc"), 0x8, 999);
    writer.AddFile("gone.txt", ToBytes("bye"));
    writer.AddFile("old\\name.txt", ToBytes("renamed"));
    ASSERT_EQ(writer.EntryFlags(1), WAD_FLAG_LZ);
    ASSERT_EQ(writer.EntryFlags(2), WAD_FLAG_ZLIB);
    Bytes bytes = writer.Finish();
    // Reserved bytes of the header and of every record.
    for (size_t i = 8; i < 72; ++i) {
        bytes[i] = static_cast<uint8_t>(i);
    }
    bytes[86] = 0x77;
    for (size_t r = 0; r < 7; ++r) {
        bytes[WAD_HEADER_SIZE + WAD_RECORD_SIZE * r + 30] = static_cast<uint8_t>(0xc0 + r);
    }
    Put(bytes);

    WadEdit edit;
    Open(edit);
    ASSERT_EQ(edit.Version(), version);
    edit.Remove(edit.Find("GONE.TXT"));
    edit.Rename(edit.Find("old/name.txt"), "new\\Name.txt");
    const std::string relz = Repetitive(1500, 'p');
    Bytes coded;
    uint32_t flags = coder.Code(reinterpret_cast<const uint8_t*>(relz.data()), relz.size(),
                                WadCoding::ZLIB, coded);
    ASSERT_EQ(flags, WAD_FLAG_ZLIB);
    edit.SetData(edit.Find("dir\\lz.bin"), coded, flags, 1500);
    const std::string added = Repetitive(900, 'f');
    flags = coder.Code(reinterpret_cast<const uint8_t*>(added.data()), added.size(), WadCoding::LZ,
                       coded);
    ASSERT_EQ(flags, WAD_FLAG_LZ);
    edit.Add("added\\x.lz", coded, flags, 900);
    edit.Add("added/raw.bin", ToBytes("raw"), 0, 0);
    const uint32_t keptOffset = edit.Entries()[0].record.dataOffset;
    ASSERT_TRUE((asCopy ? edit.CommitCopy() : edit.Commit()).Succeeded()) << LastError().text;
    edit.Close();

    const Contents expected = {
        {"keep.txt", kept},     {"dir\\lz.bin", relz},     {"dir\\z.bin", Repetitive(2000, 'k')},
        {"refused.dat", "!"},   {"odd.bin", "abc"},        {"new\\name.txt", "renamed"},
        {"added\\x.lz", added}, {"added\\raw.bin", "raw"},
    };
    EXPECT_EQ(Read(), expected);

    const Bytes now = File();
    EXPECT_EQ(Bytes(now.begin() + 8, now.begin() + 72),
              Bytes(bytes.begin() + 8, bytes.begin() + 72));
    EXPECT_EQ(now[86], 0x77);
    Open(edit);
    ASSERT_EQ(edit.Entries().size(), 8u);
    const size_t oldIndex[] = {0, 1, 2, 3, 4, 6};  // record order is kept
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(edit.Entries()[i].record.reserved[2], 0xc0 + oldIndex[i]) << i;
    }
    if (!asCopy) {
        // Untouched data stays where it was.
        EXPECT_EQ(edit.Entries()[0].record.dataOffset, keptOffset);
        EXPECT_EQ(std::string(now.begin() + keptOffset, now.begin() + keptOffset + 300), kept);
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, WadEditRoundTrip,
                         ::testing::Combine(::testing::Values(0u, 1u, 2u), ::testing::Bool()));

// Data two records share, data that overlaps the header, and names (or the
// name table) right after the record table, which the added records cover.
TEST_F(WadEditTest, MovesWhatTheGrowingTableCoversAndKeepsItsMeaning) {
    for (uint32_t version : {0u, 1u, 2u}) {
        SCOPED_TRACE(version);
        const char* names[] = {"a\\one", "a\\two", "head"};
        WadHeader header;
        std::memcpy(header.magic, WAD_MAGIC, 4);
        header.version = version;
        header.entryCount = 3;
        Bytes file(WAD_HEADER_SIZE + 3 * WAD_RECORD_SIZE);
        WadEntryRecord records[3];
        const auto placeNames = [&] {
            header.nameTableOffset = static_cast<uint32_t>(file.size());
            for (size_t i = 0; i < 3; ++i) {
                records[i].nameOffset = static_cast<uint32_t>(file.size());
                records[i].nameLength = static_cast<uint32_t>(std::strlen(names[i]));
                records[i].pathHash = WadPathHash(names[i]);
                file.insert(file.end(), names[i], names[i] + std::strlen(names[i]) + 1);
            }
            header.nameTableSize = static_cast<uint32_t>(file.size()) - header.nameTableOffset;
        };
        // Names first in version 2, data first otherwise: both lie where
        // the new records go.
        if (version == 2) {
            placeNames();
        }
        const std::string shared = "shared by two";
        records[0].dataOffset = records[1].dataOffset = static_cast<uint32_t>(file.size());
        records[0].storedSize = records[1].storedSize = static_cast<uint32_t>(shared.size());
        file.insert(file.end(), shared.begin(), shared.end());
        records[2].dataOffset = 0;  // "QARC" and the version
        records[2].storedSize = 6;
        if (version != 2) {
            placeNames();
        }
        header.Encode(file.data());
        for (size_t i = 0; i < 3; ++i) {
            records[i].Encode(file.data() + WAD_HEADER_SIZE + WAD_RECORD_SIZE * i);
        }
        Put(file);
        const std::string head(file.begin(), file.begin() + 6);

        WadEdit edit;
        Open(edit);
        for (const char* name : {"b\\1", "b\\2", "b\\3"}) {
            edit.Add(name, ToBytes(name), 0, 0);
        }
        ASSERT_TRUE(edit.Commit().Succeeded()) << LastError().text;
        edit.Close();
        const Contents expected = {{"a\\one", shared}, {"a\\two", shared}, {"head", head},
                                   {"b\\1", "b\\1"},   {"b\\2", "b\\2"},   {"b\\3", "b\\3"}};
        EXPECT_EQ(Read(), expected);
    }
}

// Version 2 records the reader leaves out of the tree (a name just past the
// table's end, a name running to the table's end without a NUL) stay out
// when a rename grows or rebuilds the table.
TEST_F(WadEditTest, NamesLeftOutOfTheTreeStayOutWhenTheTableChanges) {
    for (const bool unended : {false, true}) {
        SCOPED_TRACE(unended);
        WadHeader header;
        std::memcpy(header.magic, WAD_MAGIC, 4);
        header.version = 2;
        header.entryCount = 3;
        Bytes file(WAD_HEADER_SIZE + 3 * WAD_RECORD_SIZE);
        WadEntryRecord records[3];
        for (size_t i = 0; i < 3; ++i) {
            records[i].dataOffset = static_cast<uint32_t>(file.size());
            records[i].storedSize = 2;
            file.insert(file.end(), {'d', static_cast<uint8_t>('0' + i)});
        }
        // The table last, so that it can grow where it ends.
        header.nameTableOffset = static_cast<uint32_t>(file.size());
        records[0].nameOffset = header.nameTableOffset;
        records[0].pathHash = WadPathHash("x");
        file.insert(file.end(), {'x', 0});
        records[2].nameOffset = unended ? static_cast<uint32_t>(file.size()) : 0;
        if (unended) {
            file.insert(file.end(), {'z', 'z'});
        }
        header.nameTableSize = static_cast<uint32_t>(file.size()) - header.nameTableOffset;
        records[1].nameOffset = static_cast<uint32_t>(file.size());
        header.Encode(file.data());
        for (size_t i = 0; i < 3; ++i) {
            records[i].Encode(file.data() + WAD_HEADER_SIZE + WAD_RECORD_SIZE * i);
        }
        Put(file);

        WadEdit edit;
        Open(edit);
        edit.Rename(0, "renamed");
        ASSERT_TRUE(edit.Commit().Succeeded()) << LastError().text;
        ASSERT_EQ(edit.Entries().size(), 3u);
        EXPECT_FALSE(edit.Entries()[1].named);
        EXPECT_FALSE(edit.Entries()[2].named);
        edit.Close();
        EXPECT_EQ(Read(), (Contents{{"renamed", "d0"}}));
    }
}

// Of two records of one path, lookups find the one whose path hash is
// right, and none of a path the reader refuses; so does the editor.
TEST_F(WadEditTest, FindServesWhatTheReaderServes) {
    WadWriter writer(0);
    writer.AddFile("a", ToBytes("wrong hash"));
    writer.AddFile("A", ToBytes("found"));
    writer.SetPathHash(0, WadPathHash("a") + 1);
    Put(writer.Finish());
    WadEdit edit;
    Open(edit);
    EXPECT_EQ(edit.Find("a"), 1);
    edit.Add("x\\..\\y", ToBytes("left out"), 0, 0);
    EXPECT_EQ(edit.Find("x\\..\\y"), -1) << "the reader leaves the path out";
    edit.Rename(0, "c\\d");
    EXPECT_EQ(edit.Find("C/D"), 0);
}

// An archive of 20 entries whose first is removed: the switch rewrites
// every record, two sectors. `before` and `after` are the file then.
class WadEditJournalTest : public WadEditTest {
  protected:
    void SetUp() override {
        WadEditTest::SetUp();
        WadWriter writer(1);
        for (int i = 0; i < 20; ++i) {
            std::string name = "f";
            name += std::to_string(i);
            const std::string content = std::string("content ").append(name);
            writer.AddFile(name.c_str(), ToBytes(content));
            if (i > 0) {
                changed[name] = content;
            }
        }
        before = writer.Finish();
        Put(before);
        WadEdit edit;
        Open(edit);
        edit.Remove(0);
        ASSERT_TRUE(edit.Commit().Succeeded()) << LastError().text;
        edit.Close();
        after = File();
        ASSERT_EQ(after.size(), before.size());
        first = 0;
        while (before[first] == after[first]) {
            ++first;
        }
        last = WAD_HEADER_SIZE + 19 * WAD_RECORD_SIZE;
        while (before[last - 1] == after[last - 1]) {
            --last;
        }
        ASSERT_TRUE(first < 512 && last > 600) << "the switch spans two sectors";
        ASSERT_TRUE(directory.Open(temp.Path().c_str()));
    }

    Result Journal(const Bytes& newBytes) {
        return EditJournal::Write(directory, "game.wad", first,
                                  Bytes(before.begin() + first, before.begin() + last), newBytes);
    }
    Bytes NewBytes() const { return Bytes(after.begin() + first, after.begin() + last); }
    bool JournalExists() const { return temp.Exists(EditJournal::NameFor("game.wad")); }

    Bytes before, after;
    size_t first = 0, last = 0;
    host::HeldDirectory directory;
    Contents changed;
};

TEST_F(WadEditJournalTest, OpenCompletesASwitchTornBetweenSectors) {
    Bytes torn = before;
    std::copy(after.begin() + 512, after.begin() + 1024, torn.begin() + 512);
    Put(torn);
    ASSERT_TRUE(Journal(NewBytes()).Succeeded()) << LastError().text;

    WadEdit edit;
    Open(edit);
    edit.Close();
    EXPECT_EQ(File(), after);
    EXPECT_FALSE(JournalExists());
    EXPECT_EQ(Read(), changed);
}

TEST_F(WadEditJournalTest, AJournalCutShortIsDroppedWithTheArchiveAsItWas) {
    Put(before);
    ASSERT_TRUE(Journal(NewBytes()).Succeeded());
    const std::string journal = temp.ReadFile(EditJournal::NameFor("game.wad"));
    temp.WriteFile(EditJournal::NameFor("game.wad"), journal.substr(0, journal.size() - 9));

    WadEdit edit;
    Open(edit);
    edit.Close();
    EXPECT_EQ(File(), before);
    EXPECT_FALSE(JournalExists());
    EXPECT_EQ(Read().size(), 20u);
}

TEST_F(WadEditJournalTest, AJournalThatFitsNeitherStateRefusesTheEdit) {
    Bytes other = before;
    other[600] ^= 0xff;  // neither the old nor the new byte
    Put(other);
    ASSERT_TRUE(Journal(NewBytes()).Succeeded());

    WadEdit edit;
    EXPECT_TRUE(edit.Open(path().c_str()).Failed());
    EXPECT_NE(LastError().text.find("journal"), std::string::npos) << LastError().text;
    EXPECT_EQ(File(), other);
    EXPECT_TRUE(JournalExists()) << "kept for whoever looks into it";
}

TEST_F(WadEditTest, ReplacingAgainReusesTheSpaceTheLastReplaceFreed) {
    WadWriter writer(1);
    writer.AddFile("a", ToBytes(test::PatternedBytes(1000)));
    writer.AddFile("b", ToBytes("b"));
    Put(writer.Finish());
    WadEdit edit;
    Open(edit);
    std::vector<uint64_t> sizes;
    for (char round = 0; round < 4; ++round) {
        edit.SetData(0, Bytes(1000, static_cast<uint8_t>('0' + round)), 0, 0);
        ASSERT_TRUE(edit.Commit().Succeeded()) << LastError().text;
        sizes.push_back(edit.Stats().archiveSize);
    }
    edit.Close();
    EXPECT_EQ(sizes, std::vector<uint64_t>(4, sizes[0]));
    EXPECT_EQ(Read(), (Contents{{"a", std::string(1000, '3')}, {"b", "b"}}));
}

}  // namespace
}  // namespace vfs
