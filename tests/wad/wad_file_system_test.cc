#include "vfs/wad/wad_file_system.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/temp_directory.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_writer.h"

namespace vfs {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string ReadAll(StreamRef& stream) {
    std::string out;
    char buffer[4096];
    for (int32_t n; (n = stream.Read(buffer, sizeof(buffer))) > 0;) {
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

// Archives written into a temporary directory.
class WadFileSystemTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const std::vector<uint8_t>& archive) {
        std::string bytes(archive.begin(), archive.end());
        dir.WriteFile(name, bytes);
        return dir.Join(name);
    }

    // maps\a.txt (stored), maps\b.txt (LZ), maps\sub\c.txt (zlib), top.txt.
    std::string WriteMapsArchive(const std::string& name = "level.wad") {
        WadWriter writer(2);
        writer.AddFile("Maps\\A.txt", Bytes("alpha"));
        writer.AddFile("maps\\b.txt", Bytes(std::string(500, 'b')), WadCoding::LZ);
        writer.AddFile("maps\\sub\\c.txt", Bytes(std::string(700, 'c')), WadCoding::ZLIB);
        writer.AddFile("top.txt", Bytes("top"));
        return Write(name, writer.Finish());
    }

    std::vector<std::string> List(FileSystemRef& fs, const char* pattern) {
        std::vector<std::string> found;
        FindData data;
        for (Result r = fs.FindFirst(pattern, &data); r.Succeeded(); r = fs.FindNext(&data)) {
            found.push_back(std::string(data.path) + "|" + data.name +
                            ((data.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "/" : ""));
        }
        return found;
    }

    test::TempDirectory dir;
};

std::string Backslashed(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

TEST_F(WadFileSystemTest, RootPathIsTheArchivePathAndAStar) {
    std::string path = WriteMapsArchive();
    FileSystemRef fs;
    ASSERT_EQ(fs.OpenArchive(path.c_str(), 0), Result::Ok());
    EXPECT_EQ(std::string(fs.GetRootPath()), Backslashed(path) + "*")
        << "forward slashes become backslashes";
    VfsString full;
    fs.GetFullPath(full, VfsString());
    EXPECT_EQ(std::string(full.c_str()), Backslashed(path) + "*");

    ASSERT_EQ(fs.OpenArchive((path + "*\\").c_str(), 0), Result::Ok());
    EXPECT_EQ(std::string(fs.GetRootPath()), Backslashed(path) + "*\\");
    EXPECT_EQ(List(fs, "*.*").size(), 2u) << "an inner root of just \\ is the archive's top";
}

TEST_F(WadFileSystemTest, InnerRootBecomesTheTop) {
    std::string path = WriteMapsArchive();
    FileSystemRef fs;
    ASSERT_EQ(fs.OpenArchive((path + "*\\Maps").c_str(), 0), Result::Ok());
    EXPECT_EQ(std::string(fs.GetRootPath()), Backslashed(path) + "*\\Maps\\");
    EXPECT_EQ(List(fs, "*.*"),
              (std::vector<std::string>{"sub|sub/", "a.txt|a.txt", "b.txt|b.txt"}));
    EXPECT_EQ(List(fs, "sub\\*.*"), (std::vector<std::string>{"sub\\c.txt|c.txt"}));

    StreamRef entry;
    ASSERT_EQ(fs.OpenFile(entry, "a.txt", OPEN_READ | OPEN_SHARE_READ, 0), Result::Ok());
    EXPECT_EQ(ReadAll(entry), "alpha");
    StreamRef top;
    EXPECT_EQ(fs.OpenFile(top, "top.txt", OPEN_READ, 0), Result::Fail())
        << "entries above the inner root are out of reach";
}

// A copy may skip its own search for repeated names where the tree says a
// directory has none: the answer must be false wherever one path has two
// records, whether the directory keeps an index (more than 8 files) or not.
TEST_F(WadFileSystemTest, SaysWhichDirectoriesListEachFileNameOnce) {
    WadWriter writer(2);
    writer.AddFile("top.txt", Bytes("t"));
    writer.AddFile("once\\a.txt", Bytes("a"));
    writer.AddFile("once\\b.txt", Bytes("b"));
    writer.AddFile("twice\\Same.txt", Bytes("1"));
    writer.AddFile("twice\\other.txt", Bytes("o"));
    writer.AddFile("TWICE\\same.TXT", Bytes("2"));  // the same path once folded
    for (int i = 0; i < 20; ++i) {
        writer.AddFile(("big\\f" + std::to_string(i) + ".txt").c_str(), Bytes("f"));
    }
    writer.AddFile("big\\f3.txt", Bytes("again"));
    for (int i = 0; i < 20; ++i) {
        writer.AddFile(("wide\\f" + std::to_string(i) + ".txt").c_str(), Bytes("f"));
    }
    const std::string path = Write("names.wad", writer.Finish());

    FileSystemRef fs;
    EXPECT_FALSE(fs.ListsEachFileNameOnce("")) << "an empty handle cannot say";
    ASSERT_EQ(fs.OpenArchive(path.c_str(), 0), Result::Ok());
    EXPECT_TRUE(fs.ListsEachFileNameOnce(""));
    EXPECT_TRUE(fs.ListsEachFileNameOnce("once\\"));
    EXPECT_TRUE(fs.ListsEachFileNameOnce("ONCE/"));
    EXPECT_TRUE(fs.ListsEachFileNameOnce("wide\\"));
    EXPECT_FALSE(fs.ListsEachFileNameOnce("twice\\"));
    EXPECT_FALSE(fs.ListsEachFileNameOnce("big\\"));
    EXPECT_FALSE(fs.ListsEachFileNameOnce("missing\\"));
    EXPECT_FALSE(fs.ListsEachFileNameOnce("top.txt\\")) << "a file is no directory";

    ASSERT_EQ(fs.OpenArchive((path + "*\\twice").c_str(), 0), Result::Ok());
    EXPECT_FALSE(fs.ListsEachFileNameOnce(""));
    ASSERT_EQ(fs.OpenArchive((path + "*\\once").c_str(), 0), Result::Ok());
    EXPECT_TRUE(fs.ListsEachFileNameOnce(""));

    FileSystemRef host;
    ASSERT_EQ(host.OpenDirectory(dir.Path().c_str()), Result::Ok());
    EXPECT_FALSE(host.ListsEachFileNameOnce("")) << "host directories do not say";
}

TEST_F(WadFileSystemTest, OpenRefusesWhatIsNotAnArchiveOrNotADirectoryInsideAndSaysWhy) {
    std::string path = WriteMapsArchive();
    FileSystemRef fs;
    ErrorReason why;
    auto refusal = [&](const std::string& at) {
        EXPECT_EQ(fs.OpenArchive(at.c_str(), 0, &why), Result::Fail()) << at;
        EXPECT_EQ(fs.Get(), nullptr);
        return why.code;
    };
    EXPECT_EQ(refusal(dir.Path()), ErrorCode::IS_DIRECTORY);
    EXPECT_EQ(refusal(dir.Join("missing.wad")), ErrorCode::NOT_FOUND);
    dir.WriteFile("short.wad", "QARC");
    EXPECT_EQ(refusal(dir.Join("short.wad")), ErrorCode::NOT_AN_ARCHIVE);
    std::vector<uint8_t> v3 = WadWriter(2).Finish();
    v3[4] = 3;
    EXPECT_EQ(refusal(Write("v3.wad", v3)), ErrorCode::UNKNOWN_VERSION);
    std::vector<uint8_t> names = WadWriter(2).Finish();
    names[76] = 0xF0;  // the name table's offset, past the end
    names[80] = 1;     // and its size
    EXPECT_EQ(refusal(Write("names.wad", names)), ErrorCode::DAMAGED);
    EXPECT_EQ(why.text.rfind("is damaged or cut short: its name table (bytes 240 to 241)", 0), 0u)
        << why.text;
    EXPECT_EQ(refusal(path + "*\\nosuchdir"), ErrorCode::NOT_FOUND);
    EXPECT_EQ(why.text, "has no directory nosuchdir");
    EXPECT_EQ(refusal(path + "*\\top.txt"), ErrorCode::NOT_FOUND)
        << "an inner root that names a file";
    EXPECT_EQ(fs.OpenArchive(path.c_str(), OPEN_BUFFERED, &why), Result::Ok());
    EXPECT_EQ(why.code, ErrorCode::NONE);
}

TEST_F(WadFileSystemTest, ASecondOpenClosesTheFirst) {
    std::string first = WriteMapsArchive("first.wad");
    auto* fs = new WadFileSystem();
    FileSystemRef ref;
    ref.Set(fs);
    ASSERT_EQ(fs->Open(first.c_str(), 0), Result::Ok());
    EXPECT_EQ(fs->Open(dir.Join("missing.wad").c_str(), 0), Result::Fail());
    EXPECT_STREQ(fs->GetRootPath(), "");
    FindData data;
    EXPECT_EQ(fs->FindFirst("*.*", &data), Result::Fail()) << "closed after the failed open";
}

TEST_F(WadFileSystemTest, ReadOnlyOperationsAndEmptyPatterns) {
    std::string path = WriteMapsArchive();
    FileSystemRef fs;
    FindData data;
    ASSERT_EQ(fs.OpenArchive(path.c_str(), 0), Result::Ok());
    EXPECT_EQ(fs.FindFirst("", &data), Result::Fail());
    EXPECT_EQ(fs.CreateDirectory("new"), Result::Ok());
    EXPECT_EQ(List(fs, "new"), std::vector<std::string>{}) << "the tree is unchanged";
    EXPECT_EQ(fs.Delete("top.txt"), Result::Fail());
    EXPECT_EQ(fs.Move("top.txt", "x"), Result::Fail());
    EXPECT_EQ(fs.SetAttributes("top.txt", 0), Result::Fail());
    EXPECT_EQ(LastError().code, ErrorCode::UNSUPPORTED);

    StreamRef out;
    EXPECT_EQ(fs.OpenFile(out, "top.txt", 0xC0000010u, 0), Result::Fail());
    EXPECT_EQ(fs.OpenFile(out, "top.txt", OPEN_READ | OPEN_SHARE_WRITE, 0), Result::Fail());
    EXPECT_EQ(out.Get(), nullptr);
    EXPECT_EQ(fs.OpenFile(out, "maps", OPEN_READ, 0), Result::Fail()) << "a directory";
    EXPECT_EQ(out.Get(), nullptr);
    ASSERT_EQ(fs.OpenFile(out, "top.txt", OPEN_READ, 0), Result::Ok());
    Stream* held = out.Get();
    EXPECT_EQ(fs.OpenFile(out, "maps\\a.txt", OPEN_READ, 0), Result::Fail());
    EXPECT_EQ(out.Get(), held);
}

TEST_F(WadFileSystemTest, PatternsOpenTheFirstMatchInRecordOrder) {
    WadWriter writer(1);
    writer.AddFile("ab.txt", Bytes("first"));
    writer.AddFile("a2.txt", Bytes("second"));
    writer.AddFile("x\\a.txt\\inner", Bytes("in a directory"));
    writer.AddFile("x\\ab.txt", Bytes("file"));
    FileSystemRef fs;
    ASSERT_EQ(fs.OpenArchive(Write("p.wad", writer.Finish()).c_str(), 0), Result::Ok());
    StreamRef out;
    ASSERT_EQ(fs.OpenFile(out, "a*.txt", OPEN_READ, 0), Result::Ok());
    EXPECT_EQ(ReadAll(out), "first");
    StreamRef dirFirst;
    EXPECT_EQ(fs.OpenFile(dirFirst, "x\\a*.txt", OPEN_READ, 0), Result::Fail())
        << "a matching subdirectory comes first";
}

TEST_F(WadFileSystemTest, RefusedAndBrokenEntriesDoNotOpen) {
    WadWriter writer(2);
    writer.AddFile("refused.txt", Bytes("secret"));
    writer.SetFlags(0, WAD_FLAG_REFUSED);
    writer.AddRawEntry("badlz.bin", reinterpret_cast<const uint8_t*>("\x10\xFB\x00\x00\x10zz"), 7,
                       WAD_FLAG_LZ, 16);
    writer.AddRawEntry("badzlib.bin", reinterpret_cast<const uint8_t*>("BILZ1234"), 8,
                       WAD_FLAG_ZLIB, 16);
    writer.AddFile("wrongsize.bin", Bytes(std::string(300, 'w')), WadCoding::LZ);
    writer.AddFile("good.bin", Bytes(std::string(300, 'g')), WadCoding::ZLIB);
    std::vector<uint8_t> archive = writer.Finish();
    // Claim a different unpacked size for entry 3.
    WadEntryRecord record = WadEntryRecord::Decode(archive.data() + WadRecordOffset(3));
    record.unpackedSize = 299;
    record.Encode(archive.data() + WadRecordOffset(3));

    auto* wad = new WadFileSystem();
    FileSystemRef fs;
    fs.Set(wad);
    ASSERT_EQ(wad->Open(Write("b.wad", archive).c_str(), 0), Result::Ok());
    for (const char* name : {"refused.txt", "badlz.bin", "badzlib.bin", "wrongsize.bin"}) {
        StreamRef out;
        EXPECT_EQ(fs.OpenFile(out, name, OPEN_READ, 0), Result::Fail()) << name;
        EXPECT_EQ(out.Get(), nullptr) << name << ": a failed open leaves the handle empty";
    }
    EXPECT_TRUE(wad->IsRefused("refused.txt"));
    EXPECT_FALSE(wad->IsRefused("good.bin"));
    EXPECT_FALSE(wad->IsRefused("missing"));
    StreamRef good;
    ASSERT_EQ(fs.OpenFile(good, "good.bin", OPEN_READ, 0), Result::Ok());
    EXPECT_EQ(ReadAll(good), std::string(300, 'g'));
}

TEST_F(WadFileSystemTest, ReadRecordGivesTheWholeRecordAsStored) {
    // The tree keeps only what opening needs; the rest of the record (name
    // fields, reserved bytes) must still come back as the table holds it.
    for (uint32_t version : {0u, 2u}) {
        WadWriter writer(version);
        writer.AddFile("first.txt", Bytes("one"));
        writer.AddFile("Dir\\Second.bin", Bytes(std::string(600, 's')), WadCoding::LZ);
        std::vector<uint8_t> archive = writer.Finish();
        WadEntryRecord stored = WadEntryRecord::Decode(archive.data() + WadRecordOffset(1));
        for (uint8_t i = 0; i < sizeof(stored.reserved); ++i) {
            stored.reserved[i] = static_cast<uint8_t>(0xA0 + i);
        }
        stored.Encode(archive.data() + WadRecordOffset(1));

        auto* wad = new WadFileSystem();
        FileSystemRef fs;
        fs.Set(wad);
        const std::string name = "r" + std::to_string(version) + ".wad";
        ASSERT_EQ(wad->Open(Write(name, archive).c_str(), 0), Result::Ok());
        WadEntryRecord read;
        ASSERT_EQ(wad->ReadRecord("dir\\second.bin", &read), Result::Ok()) << version;
        EXPECT_EQ(read.pathHash, stored.pathHash);
        EXPECT_EQ(read.nameOffset, stored.nameOffset);
        EXPECT_EQ(read.nameLength, stored.nameLength);
        EXPECT_EQ(read.dataOffset, stored.dataOffset);
        EXPECT_EQ(read.storedSize, stored.storedSize);
        EXPECT_EQ(read.flags, stored.flags);
        EXPECT_EQ(read.unpackedSize, 600u);
        EXPECT_EQ(std::memcmp(read.reserved, stored.reserved, sizeof(read.reserved)), 0);
        EXPECT_EQ(wad->ReadRecord("missing.txt", &read), Result::Fail());
        StreamRef entry;
        ASSERT_EQ(fs.OpenFile(entry, "dir\\second.bin", OPEN_READ, 0), Result::Ok());
        EXPECT_EQ(ReadAll(entry), std::string(600, 's')) << "reading the record moved no reader";
    }
}

TEST_F(WadFileSystemTest, FlagsAreTestedInOrder) {
    WadWriter writer(0);
    writer.AddFile("both.bin", Bytes(std::string(400, 'z')), WadCoding::ZLIB);
    writer.SetFlags(0, WAD_FLAG_ZLIB | WAD_FLAG_LZ);
    writer.AddRawEntry("unknown.bin", reinterpret_cast<const uint8_t*>("stored!"), 7, 0x8, 7);
    FileSystemRef fs;
    ASSERT_EQ(fs.OpenArchive(Write("f.wad", writer.Finish()).c_str(), 0), Result::Ok());
    StreamRef both;
    ASSERT_EQ(fs.OpenFile(both, "both.bin", OPEN_READ, 0), Result::Ok()) << "zlib comes before LZ";
    EXPECT_EQ(ReadAll(both), std::string(400, 'z'));
    StreamRef unknown;
    ASSERT_EQ(fs.OpenFile(unknown, "unknown.bin", OPEN_READ, 0), Result::Ok());
    EXPECT_EQ(ReadAll(unknown), "stored!") << "an unknown flag reads the stored bytes";
}

TEST_F(WadFileSystemTest, StoredEntriesServeTheirStoredBytesWhateverTheirUnpackedSize) {
    WadWriter writer(2);
    writer.AddRawEntry("half.bin", reinterpret_cast<const uint8_t*>("stored"), 6, 0, 0x80000000u);
    writer.AddRawEntry("most.bin", reinterpret_cast<const uint8_t*>("bytes"), 5, 0, 0xFFFFFFFFu);
    writer.AddRawEntry("flag.bin", reinterpret_cast<const uint8_t*>("flag"), 4, 0x8, 0x80000000u);
    writer.AddRawEntry("big.lz", reinterpret_cast<const uint8_t*>("\x10\xFB\x00\x00\x00\xFC"), 6,
                       WAD_FLAG_LZ, 0x80000000u);
    FileSystemRef fs;
    ASSERT_EQ(fs.OpenArchive(Write("s.wad", writer.Finish()).c_str(), 0), Result::Ok());
    for (auto [name, bytes] : {std::pair{"half.bin", "stored"}, std::pair{"most.bin", "bytes"},
                               std::pair{"flag.bin", "flag"}}) {
        StreamRef out;
        ASSERT_EQ(fs.OpenFile(out, name, OPEN_READ, 0), Result::Ok()) << name;
        EXPECT_EQ(out.GetSize(), static_cast<int32_t>(std::strlen(bytes))) << name;
        EXPECT_EQ(ReadAll(out), bytes) << name;
    }
    StreamRef coded;
    EXPECT_EQ(fs.OpenFile(coded, "big.lz", OPEN_READ, 0), Result::Fail())
        << "a decoded entry is held at its unpacked size, which cannot pass 2^31 - 1";
    EXPECT_EQ(coded.Get(), nullptr);
}

TEST_F(WadFileSystemTest, DataPastTheEndOfTheFileDoesNotOpen) {
    WadWriter writer(2);
    writer.AddFile("tail.bin", Bytes(std::string(100, 't')));
    std::vector<uint8_t> archive = writer.Finish();
    WadEntryRecord record = WadEntryRecord::Decode(archive.data() + WadRecordOffset(0));
    record.storedSize = 1000;
    record.Encode(archive.data() + WadRecordOffset(0));
    FileSystemRef fs;
    ASSERT_EQ(fs.OpenArchive(Write("t.wad", archive).c_str(), 0), Result::Ok());
    StreamRef out;
    EXPECT_EQ(fs.OpenFile(out, "tail.bin", OPEN_READ, 0), Result::Fail());
    EXPECT_EQ(out.Get(), nullptr);

    // Up to the last byte of the file is inside it.
    record.storedSize = static_cast<uint32_t>(archive.size()) - record.dataOffset;
    record.Encode(archive.data() + WadRecordOffset(0));
    ASSERT_EQ(fs.OpenArchive(Write("u.wad", archive).c_str(), 0), Result::Ok());
    ASSERT_EQ(fs.OpenFile(out, "tail.bin", OPEN_READ, 0), Result::Ok());
    EXPECT_EQ(ReadAll(out).size(), record.storedSize);
}

TEST_F(WadFileSystemTest, EntriesOutliveTheirFileSystemAndReadIndependently) {
    std::vector<uint8_t> one = Bytes(test::PatternedBytes(300000));
    std::vector<uint8_t> two = Bytes(test::PatternedBytes(250000).substr(7));
    WadWriter writer(2);
    writer.AddFile("one.bin", one);
    writer.AddFile("two.bin", two);
    std::string path = Write("e.wad", writer.Finish());

    StreamRef a;
    StreamRef b;
    {
        FileSystemRef fs;
        ASSERT_EQ(fs.OpenArchive(path.c_str(), 0), Result::Ok());
        ASSERT_EQ(fs.OpenFile(a, "one.bin", OPEN_READ, 0), Result::Ok());
        ASSERT_EQ(fs.OpenFile(b, "two.bin", OPEN_READ, 0), Result::Ok());
    }
    // Alternate reads: each stream keeps its own position over the shared file.
    std::string gotA;
    std::string gotB;
    char buffer[777];
    for (;;) {
        int32_t na = a.Read(buffer, sizeof(buffer));
        if (na > 0) {
            gotA.append(buffer, static_cast<size_t>(na));
        }
        int32_t nb = b.Read(buffer, sizeof(buffer));
        if (nb > 0) {
            gotB.append(buffer, static_cast<size_t>(nb));
        }
        if (na <= 0 && nb <= 0) {
            break;
        }
    }
    EXPECT_EQ(gotA, std::string(one.begin(), one.end()));
    EXPECT_EQ(gotB, std::string(two.begin(), two.end()));
}

TEST_F(WadFileSystemTest, EntriesReadOnTwoThreadsAtOnce) {
    std::vector<std::vector<uint8_t>> contents;
    WadWriter writer(2);
    for (int i = 0; i < 8; ++i) {
        contents.push_back(Bytes(test::PatternedBytes(100000 + 1000 * i).substr(i)));
        std::string name = "f" + std::to_string(i);
        writer.AddFile(name.c_str(), contents.back(),
                       i % 2 == 0 ? WadCoding::STORED : WadCoding::LZ);
    }
    FileSystemRef fs;
    ASSERT_EQ(fs.OpenArchive(Write("threads.wad", writer.Finish()).c_str(), 0), Result::Ok());
    std::vector<StreamRef> streams(8);
    for (int i = 0; i < 8; ++i) {
        std::string name = "f" + std::to_string(i);
        ASSERT_EQ(fs.OpenFile(streams[static_cast<size_t>(i)], name.c_str(), OPEN_READ, 0),
                  Result::Ok());
    }
    std::string results[8];
    auto work = [&](int first) {
        for (int i = first; i < 8; i += 2) {
            results[i] = ReadAll(streams[static_cast<size_t>(i)]);
        }
    };
    std::thread even(work, 0);
    std::thread odd(work, 1);
    even.join();
    odd.join();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(results[i], std::string(contents[static_cast<size_t>(i)].begin(),
                                          contents[static_cast<size_t>(i)].end()))
            << i;
    }
}

}  // namespace
}  // namespace vfs
