#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "app/unpack_dialog.h"
#include "tests/host/temp_directory.h"
#include "vfs/host/host_limits.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_writer.h"

namespace tarnwad {
namespace {

namespace fs = std::filesystem;
using vfs::WadCoding;
using vfs::WadWriter;

class TestHost : public DialogHost {
  public:
    void GetPathText(char* buffer, uint32_t size) override {
        std::snprintf(buffer, size, "%s", path.c_str());
    }
    void SetStatusLine(const char* text) override { status.push_back(text); }
    void ShowMessage(const char* text, const char* caption) override {
        messages.push_back(std::string(caption) + " " + text);
    }

    std::string path;
    std::vector<std::string> status;
    std::vector<std::string> messages;
};

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Every regular file below `root`, relative path to contents.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> files;
    if (!fs::exists(root)) {
        return files;
    }
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            std::FILE* f = std::fopen(entry.path().string().c_str(), "rb");
            std::string contents;
            char buffer[65536];
            for (size_t n; (n = std::fread(buffer, 1, sizeof(buffer), f)) > 0;) {
                contents.append(buffer, n);
            }
            std::fclose(f);
            files[fs::relative(entry.path(), root).generic_string()] = contents;
        }
    }
    return files;
}

class UnpackCommandTest : public ::testing::Test {
  protected:
    std::string Write(const std::string& name, const std::vector<uint8_t>& archive) {
        dir.WriteFile(name, std::string(archive.begin(), archive.end()));
        return dir.Join(name);
    }

    bool Unpack(const std::string& archivePath) {
        host.path = archivePath;
        host.messages.clear();
        dialog.OnUnpack();
        EXPECT_EQ(host.messages.size(), 1u);
        bool ok = dialog.lastOutcome.succeeded;
        EXPECT_EQ(host.messages.back(), ok ? "Succeeded! Finished unpacking WAD file"
                                           : "Failed! Unable to unpack WAD file");
        return ok;
    }

    vfs::test::TempDirectory dir;
    TestHost host;
    UnpackDialog dialog{host};
};

struct Sample {
    std::string path;
    std::string contents;
};

std::vector<Sample> SampleTree() {
    return {
        {"groundtile.png", vfs::test::PatternedBytes(5000)},
        {"maps\\level1\\ground.bin", vfs::test::PatternedBytes(250000)},
        {"maps\\level1\\notes.txt", std::string(120000, 'n') + "end"},
        {"maps\\readme.txt", "Read me.\n"},
        {"sounds\\empty.wav", ""},
        {"sounds\\big.raw", std::string(kCopyBlockSize + 1, 'x')},
    };
}

class UnpackRoundTrip : public UnpackCommandTest,
                        public ::testing::WithParamInterface<std::tuple<uint32_t, WadCoding>> {};

TEST_P(UnpackRoundTrip, OutputEqualsWhatWasPacked) {
    auto [version, coding] = GetParam();
    WadWriter writer(version);
    std::map<std::string, std::string> expected;
    for (const Sample& sample : SampleTree()) {
        writer.AddFile(sample.path.c_str(), Bytes(sample.contents), coding);
        std::string native = sample.path;
        for (char& c : native) {
            c = c == '\\' ? '/' : c;
        }
        expected[native] = sample.contents;
    }
    ASSERT_TRUE(Unpack(Write("level.wad", writer.Finish())));
    EXPECT_EQ(Tree(dir.Join("level")), expected);
    EXPECT_TRUE(dialog.lastOutcome.copy.Complete());
    EXPECT_EQ(dialog.lastOutcome.copy.filesCopied, expected.size());
    EXPECT_EQ(host.status.back(), "");
    EXPECT_NE(std::find(host.status.begin(), host.status.end(), "maps\\level1\\ground.bin"),
              host.status.end());
}

INSTANTIATE_TEST_SUITE_P(AllVersionsAndCodings, UnpackRoundTrip,
                         ::testing::Combine(::testing::Values(0u, 1u, 2u),
                                            ::testing::Values(WadCoding::STORED, WadCoding::LZ,
                                                              WadCoding::ZLIB)));

TEST_F(UnpackCommandTest, NamesAreFoldedToLowerCaseAndFlatArchivesStayFlat) {
    WadWriter writer(2);
    writer.AddFile("GroundTile.PNG", Bytes("g"));
    writer.AddFile("Data/Mixed\\Case.TXT", Bytes("m"));
    writer.AddFile("data\\other.txt", Bytes("o"));
    ASSERT_TRUE(Unpack(Write("case.wad", writer.Finish())));
    EXPECT_EQ(Tree(dir.Join("case")), (std::map<std::string, std::string>{
                                          {"groundtile.png", "g"},
                                          {"data/mixed/case.txt", "m"},
                                          {"data/other.txt", "o"},
                                      }));
}

TEST_F(UnpackCommandTest, ProbeNeedsOneOfTheKnownNames) {
    WadWriter none(2);
    none.AddFile("maps\\groundtile.png", Bytes("not at the top"));
    EXPECT_FALSE(Unpack(Write("none.wad", none.Finish())));
    EXPECT_FALSE(dir.Exists("none")) << "nothing is created";
    EXPECT_NE(dialog.source.Get(), nullptr) << "source holds the archive all the same";

    WadWriter fourth(2);
    fourth.AddFile("UNITGLYPHS.SPR", Bytes("4"));
    EXPECT_TRUE(Unpack(Write("fourth.wad", fourth.Finish())));
    EXPECT_EQ(dir.ReadFile("fourth/unitglyphs.spr"), "4");
}

TEST_F(UnpackCommandTest, EmptyPathAndNonArchivesFailAndKeepTheSource) {
    EXPECT_FALSE(Unpack(""));
    EXPECT_EQ(dialog.source.Get(), nullptr);

    WadWriter writer(2);
    writer.AddFile("check_mark.png", Bytes("c"));
    ASSERT_TRUE(Unpack(Write("good.wad", writer.Finish())));
    vfs::FileSystem* good = dialog.source.Get();
    dir.WriteFile("text.wad", "this is not an archive at all, but it is long enough to be read");
    EXPECT_FALSE(Unpack(dir.Join("text.wad")));
    EXPECT_EQ(dialog.source.Get(), good) << "source keeps the archive of the last good open";
    EXPECT_FALSE(dir.Exists("text"));

    // Longer than a host path: refused whole, not cut to the archive path it
    // begins with.
    EXPECT_FALSE(Unpack(dir.Join("good.wad") + "*\\" + std::string(vfs::HOST_MAX_PATH, 'a')));
    EXPECT_EQ(dialog.source.Get(), good);
    EXPECT_EQ(dialog.lastOutcome.failure, "the archive cannot be opened: its path is too long");
}

TEST_F(UnpackCommandTest, OutputDirectoryIsNamedAfterTheArchive) {
    WadWriter writer(2);
    writer.AddFile("4fx_rays.msh", Bytes("r"));
    std::vector<uint8_t> archive = writer.Finish();
    ASSERT_TRUE(Unpack(Write("level.old.wad", archive)));
    EXPECT_EQ(dir.ReadFile("level.old/4fx_rays.msh"), "r");
    EXPECT_FALSE(Unpack(Write("nodot", archive)));
    EXPECT_FALSE(Unpack(Write(".wad", archive))) << "no name before the extension";
}

TEST_F(UnpackCommandTest, ExistingOutputDirectoryIsReusedButAFileInItsPlaceFails) {
    WadWriter writer(2);
    writer.AddFile("intro_flight1.csq", Bytes("new"));
    std::vector<uint8_t> archive = writer.Finish();
    dir.MakeDirectory("level");
    dir.WriteFile("level/intro_flight1.csq", "old old old");
    dir.WriteFile("level/mine.txt", "keep");
    ASSERT_TRUE(Unpack(Write("level.wad", archive)));
    EXPECT_EQ(dir.ReadFile("level/intro_flight1.csq"), "new");
    EXPECT_EQ(dir.ReadFile("level/mine.txt"), "keep");

    dir.WriteFile("blocked", "a file where the directory would go");
    EXPECT_FALSE(Unpack(Write("blocked.wad", archive)));
    EXPECT_FALSE(dialog.lastOutcome.failure.empty());
    EXPECT_EQ(dir.ReadFile("blocked"), "a file where the directory would go");
}

TEST_F(UnpackCommandTest, ASecondUnpackReplacesSourceAndDestination) {
    WadWriter a(2);
    a.AddFile("groundtile.png", Bytes("a"));
    WadWriter b(1);
    b.AddFile("groundtile.png", Bytes("b"));
    ASSERT_TRUE(Unpack(Write("a.wad", a.Finish())));
    std::string firstRoot = dialog.destination.GetRootPath();
    ASSERT_TRUE(Unpack(Write("b.wad", b.Finish())));
    EXPECT_NE(std::string(dialog.destination.GetRootPath()), firstRoot);
    EXPECT_EQ(dir.ReadFile("b/groundtile.png"), "b");
}

TEST_F(UnpackCommandTest, RefusedEntriesAreSkippedWithoutFailing) {
    WadWriter writer(2);
    writer.AddFile("groundtile.png", Bytes("g"));
    writer.AddFile("secret\\hidden.txt", Bytes("h"));
    writer.SetFlags(1, vfs::WAD_FLAG_REFUSED);
    ASSERT_TRUE(Unpack(Write("r.wad", writer.Finish())));
    EXPECT_EQ(dialog.lastOutcome.refused, std::vector<std::string>{"secret\\hidden.txt"});
    EXPECT_FALSE(dir.Exists("r/secret/hidden.txt"));
}

TEST_F(UnpackCommandTest, HostileArchivesFailAndWriteNothingOutsideTheOutput) {
    WadWriter writer(2);
    writer.AddFile("groundtile.png", Bytes("g"));
    writer.AddFile("..\\escaped.txt", Bytes("e"));
    writer.AddFile("maps\\..\\..\\escaped2.txt", Bytes("e"));
    writer.AddFile("/rooted.txt", Bytes("e"));
    writer.AddFile("c:\\drive.txt", Bytes("e"));
    writer.AddRawEntry("bad.lz", reinterpret_cast<const uint8_t*>("\x10\xFB\x00\x00\x09\xE0"), 6,
                       vfs::WAD_FLAG_LZ, 9);
    writer.AddFile("fine.txt", Bytes("fine"));
    dir.MakeDirectory("box");
    std::vector<uint8_t> archive = writer.Finish();
    std::string path = dir.Join("box/h.wad");
    dir.WriteFile("box/h.wad", std::string(archive.begin(), archive.end()));

    EXPECT_FALSE(Unpack(path));
    EXPECT_EQ(dialog.lastOutcome.rejected.size(), 4u);
    ASSERT_EQ(dialog.lastOutcome.copy.failures.size(), 1u);
    EXPECT_EQ(dialog.lastOutcome.copy.failures[0].path, "bad.lz");
    EXPECT_EQ(dir.ReadFile("box/h/fine.txt"), "fine") << "the copy goes on past failures";
    std::map<std::string, std::string> everything = Tree(dir.Path());
    for (const auto& [file, contents] : everything) {
        EXPECT_TRUE(file.rfind("box/", 0) == 0) << file << " was written outside the output";
    }
    EXPECT_FALSE(fs::exists("/rooted.txt"));
}

}  // namespace
}  // namespace tarnwad
