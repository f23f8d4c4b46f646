#include "vfs/overlay/overlay_file_system.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/host/temp_directory.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/stream_ref.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_writer.h"

namespace vfs {
namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

class OverlayTest : public ::testing::Test {
  protected:
    // Writes an archive of `files` into the temporary folder; its path.
    std::string Archive(const std::string& name, const Files& files, int refused = -1) {
        WadWriter writer(2);
        for (const auto& [path, bytes] : files) {
            writer.AddFile(path.c_str(), reinterpret_cast<const uint8_t*>(bytes.data()),
                           bytes.size());
        }
        if (refused >= 0) {
            writer.SetFlags(static_cast<size_t>(refused), WAD_FLAG_REFUSED);
        }
        const std::vector<uint8_t> bytes = writer.Finish();
        std::ofstream(temp.Join(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return temp.Join(name);
    }

    // A host folder of `files` (paths '/' separated) in the temporary folder.
    std::string Folder(const std::string& name, const Files& files) {
        temp.MakeDirectory(name);
        for (const auto& [path, bytes] : files) {
            const size_t cut = path.rfind('/');
            if (cut != std::string::npos) {
                temp.MakeDirectory(name + "/" + path.substr(0, cut));
            }
            temp.WriteFile(name + "/" + path, bytes);
        }
        return temp.Join(name);
    }

    void Add(OverlayFileSystem& overlay, const std::string& path) {
        ErrorReason why;
        ASSERT_TRUE(overlay.AddLayerPath(path.c_str(), &why).Succeeded()) << path << why.text;
    }

    // The file's bytes, or "!" and the reason it does not open.
    static std::string Read(FileSystem& fileSystem, const char* path) {
        StreamRef stream;
        if (fileSystem.OpenFile(stream, path, OPEN_READ | OPEN_SHARE_READ, 0).Failed()) {
            return "!" + LastError().text;
        }
        std::string bytes(static_cast<size_t>(stream.GetSize()), '\0');
        stream.Read(bytes.data(), static_cast<int32_t>(bytes.size()));
        return bytes;
    }

    // What an enumeration of `pattern` lists: "path:size" or "path\".
    static std::vector<std::string> List(FileSystem& fileSystem, const char* pattern) {
        std::vector<std::string> out;
        FindData data;
        for (Result r = fileSystem.FindFirst(pattern, &data); r.Succeeded();
             r = fileSystem.FindNext(&data)) {
            const bool isDirectory = (data.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            out.push_back(std::string(data.path) +
                          (isDirectory ? "\\" : ":" + std::to_string(data.size)));
        }
        return out;
    }

    test::TempDirectory temp;
};

TEST_F(OverlayTest, LastLayerAddedWinsForAFileAndDirectoriesMerge) {
    OverlayFileSystem overlay;
    Add(overlay, Archive("base.wad", {{"maps\\a.txt", "base a"}, {"maps\\b.txt", "base b"}}));
    Add(overlay, Archive("mod1.wad", {{"maps\\a.txt", "mod1 a"}, {"sounds\\s.ogg", "s"}}));
    Add(overlay, Archive("mod2.wad", {{"maps\\a.txt", "mod2 a!"}}));

    EXPECT_EQ(Read(overlay, "maps\\a.txt"), "mod2 a!");
    EXPECT_EQ(Read(overlay, "maps/b.txt"), "base b");
    EXPECT_EQ(Read(overlay, "sounds\\s.ogg"), "s");
    EXPECT_EQ(List(overlay, "*"), (std::vector<std::string>{"maps\\", "sounds\\"}));
    EXPECT_EQ(List(overlay, "maps\\*"),
              (std::vector<std::string>{"maps\\a.txt:7", "maps\\b.txt:6"}));
}

TEST_F(OverlayTest, HostFolderOverridesArchiveWhateverTheLetterCase) {
    OverlayFileSystem overlay;
    Add(overlay, Archive("base.wad", {{"maps\\level1\\layout.txt", "old"}}));
    Add(overlay, Folder("mod", {{"Maps/Level1/Layout.TXT", "new!"}, {"Maps/Extra.txt", "e"}}));

    EXPECT_EQ(Read(overlay, "MAPS/level1/LAYOUT.txt"), "new!");
    EXPECT_EQ(Read(overlay, "maps\\extra.txt"), "e");
    EXPECT_EQ(List(overlay, "Maps\\Level1\\*"),
              (std::vector<std::string>{"maps\\level1\\layout.txt:4"}));
    OverlayVersion serving;
    ASSERT_TRUE(overlay.Serving("maps\\level1\\layout.txt", &serving).Succeeded());
    EXPECT_EQ(serving.layer, 1u);
    EXPECT_EQ(serving.spelled, "Maps\\Level1\\Layout.TXT");
}

#ifndef _WIN32
TEST_F(OverlayTest, NamesOfOneFolderDifferingInCaseAreReportedAndTheFirstServes) {
    OverlayFileSystem overlay;
    Add(overlay, Folder("mod", {{"Read.txt", "one"}, {"READ.TXT", "other"}}));

    ASSERT_EQ(overlay.CaseClashes().size(), 1u);
    const OverlayCaseClash& clash = overlay.CaseClashes()[0];
    EXPECT_EQ(clash.layer, 0u);
    EXPECT_NE(clash.kept, clash.hidden);
    OverlayVersion serving;
    ASSERT_TRUE(overlay.Serving("read.txt", &serving).Succeeded());
    EXPECT_EQ(serving.spelled, clash.kept);
    EXPECT_EQ(Read(overlay, "read.txt"), clash.kept == "Read.txt" ? "one" : "other");
    EXPECT_EQ(List(overlay, "*").size(), 1u);
}
#endif

TEST_F(OverlayTest, HigherLayersKindWinsAndHidesWhatLiesBelowTheOther) {
    OverlayFileSystem overlay;
    Add(overlay, Archive("base.wad", {{"a", "file a"}, {"b\\inner.txt", "inner"}}));
    Add(overlay, Folder("mod", {{"a/new.txt", "new"}, {"b", "file b"}}));

    EXPECT_EQ(Read(overlay, "a\\new.txt"), "new");
    EXPECT_EQ(Read(overlay, "b"), "file b");
    EXPECT_EQ(Read(overlay, "b\\inner.txt"), "!no such entry");
    EXPECT_EQ(List(overlay, "*"), (std::vector<std::string>{"a\\", "b:6"}));

    const std::vector<OverlayConflict> conflicts = overlay.Conflicts();
    ASSERT_EQ(conflicts.size(), 2u);
    EXPECT_EQ(conflicts[0].path, "a");
    ASSERT_EQ(conflicts[0].versions.size(), 2u);
    EXPECT_FALSE(conflicts[0].versions[0].isDirectory);
    EXPECT_TRUE(conflicts[0].versions[1].isDirectory);
    EXPECT_EQ(conflicts[1].path, "b");
    EXPECT_TRUE(conflicts[1].versions[0].isDirectory);
    EXPECT_FALSE(conflicts[1].versions[1].isDirectory);
}

TEST_F(OverlayTest, EnumerationTakesPatternsAsArchivesDo) {
    OverlayFileSystem overlay;
    Add(overlay, Archive("base.wad", {{"d\\b.txt", "bb"}, {"d\\readme", "r"}, {"d\\a.dat", "a"}}));
    Add(overlay, Archive("mod.wad", {{"d\\c.txt", "c"}, {"d\\B.TXT", "bbb"}}));

    EXPECT_EQ(List(overlay, "D/*.TXT"), (std::vector<std::string>{"d\\b.txt:3", "d\\c.txt:1"}));
    EXPECT_EQ(List(overlay, "d\\?.dat"), (std::vector<std::string>{"d\\a.dat:1"}));
    EXPECT_EQ(List(overlay, "d\\*.*").size(), 4u);  // "readme" too
    EXPECT_EQ(List(overlay, "d"), (std::vector<std::string>{"d\\"}));
    EXPECT_TRUE(List(overlay, "nowhere\\*").empty());
}

TEST_F(OverlayTest, ProvenanceNamesEveryLayerOfAPath) {
    OverlayFileSystem overlay;
    Add(overlay, Archive("base.wad", {{"maps\\a.txt", "1"}, {"maps\\only.txt", "o"}}));
    Add(overlay, Archive("mod1.wad", {{"maps\\a.txt", "22"}}));
    Add(overlay, Archive("mod2.wad", {{"maps\\a.txt", "333"}}));

    const std::vector<OverlayVersion> versions = overlay.Versions("MAPS\\A.TXT");
    ASSERT_EQ(versions.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(versions[i].layer, i);
        EXPECT_EQ(versions[i].size, i + 1);
        EXPECT_EQ(versions[i].spelled, "maps\\a.txt");
    }
    EXPECT_EQ(overlay.Versions("maps").size(), 3u);
    // Merged directories and a path of one layer are no conflict.
    const std::vector<OverlayConflict> conflicts = overlay.Conflicts();
    ASSERT_EQ(conflicts.size(), 1u);
    EXPECT_EQ(conflicts[0].path, "maps\\a.txt");
    EXPECT_EQ(overlay.LayerName(2), temp.Join("mod2.wad"));

    EXPECT_TRUE(overlay.Serving("maps\\none.txt", nullptr).Failed());
    EXPECT_EQ(LastError().code, ErrorCode::NOT_FOUND);
    EXPECT_TRUE(overlay.Versions("maps\\none.txt").empty());
}

TEST_F(OverlayTest, FailuresGiveTheirReason) {
    OverlayFileSystem overlay;
    Add(overlay, Archive("base.wad", {{"refused.txt", "r"}, {"dir\\x", "x"}}, 0));

    EXPECT_EQ(Read(overlay, "none.txt"), "!no such entry");
    EXPECT_EQ(Read(overlay, "refused.txt"), "!refused by the archive");
    EXPECT_EQ(LastError().code, ErrorCode::REFUSED);
    EXPECT_EQ(Read(overlay, "dir"), "!is a directory");

    StreamRef stream;
    EXPECT_TRUE(overlay.OpenFile(stream, "dir\\x", OPEN_READ | OPEN_WRITE, 0).Failed());
    EXPECT_EQ(LastError().code, ErrorCode::UNSUPPORTED);
    EXPECT_TRUE(overlay.Delete("dir\\x").Failed());
    EXPECT_EQ(LastError().code, ErrorCode::UNSUPPORTED);
    EXPECT_TRUE(overlay.Move("dir\\x", "y").Failed());
    EXPECT_EQ(LastError().code, ErrorCode::UNSUPPORTED);
    EXPECT_TRUE(overlay.SetAttributes("dir\\x", 0).Failed());
    EXPECT_EQ(LastError().code, ErrorCode::UNSUPPORTED);
    EXPECT_TRUE(overlay.CreateDirectory("new").Succeeded());
}

TEST_F(OverlayTest, AddLayerPathSaysWhyALayerDoesNotOpen) {
    OverlayFileSystem overlay;
    Add(overlay, Archive("base.wad", {{"a", "a"}}));
    temp.WriteFile("text.wad", "not an archive at all");
    ErrorReason why;

    EXPECT_TRUE(overlay.AddLayerPath(temp.Join("missing.wad").c_str(), &why).Failed());
    EXPECT_EQ(why.code, ErrorCode::NOT_FOUND);
    EXPECT_EQ(why.text, "cannot be opened: no such file");
    EXPECT_TRUE(overlay.AddLayerPath(temp.Join("text.wad").c_str(), &why).Failed());
    EXPECT_EQ(why.code, ErrorCode::NOT_AN_ARCHIVE);
    EXPECT_EQ(overlay.LayerCount(), 1u);
    EXPECT_EQ(Read(overlay, "a"), "a");
}

TEST_F(OverlayTest, InnerRootOfAnArchiveIsALayer) {
    OverlayFileSystem overlay;
    Add(overlay, Archive("base.wad", {{"layout.txt", "top"}}));
    Add(overlay,
        Archive("mod.wad", {{"Maps\\layout.txt", "inner"}, {"other.txt", "o"}}) + "*\\MAPS");

    EXPECT_EQ(Read(overlay, "layout.txt"), "inner");
    EXPECT_EQ(List(overlay, "*"), (std::vector<std::string>{"layout.txt:5"}));
}

TEST_F(OverlayTest, OverlayIsALayerOfAnother) {
    FileSystemRef inner;
    auto* innerOverlay = new OverlayFileSystem();
    inner.Set(innerOverlay);
    Add(*innerOverlay, Archive("a.wad", {{"x\\one.txt", "a1"}, {"x\\two.txt", "a2"}}));
    Add(*innerOverlay, Archive("b.wad", {{"x\\two.txt", "b2"}}));
    OverlayFileSystem overlay;
    Add(overlay, Archive("base.wad", {{"x\\two.txt", "base"}, {"x\\three.txt", "3"}}));
    ASSERT_TRUE(overlay.AddLayer(inner, "inner").Succeeded());

    EXPECT_EQ(Read(overlay, "x\\one.txt"), "a1");
    EXPECT_EQ(Read(overlay, "x\\two.txt"), "b2");
    EXPECT_EQ(Read(overlay, "x\\three.txt"), "3");
}

TEST_F(OverlayTest, StreamOutlivesTheOverlay) {
    FileSystemRef overlay;
    auto* layers = new OverlayFileSystem();
    overlay.Set(layers);
    Add(*layers, Archive("base.wad", {{"a.txt", "still here"}}));
    Add(*layers, Folder("mod", {{"b.txt", "and here"}}));
    StreamRef fromArchive;
    StreamRef fromFolder;
    ASSERT_TRUE(overlay.OpenFile(fromArchive, "a.txt", OPEN_READ | OPEN_SHARE_READ).Succeeded());
    ASSERT_TRUE(overlay.OpenFile(fromFolder, "b.txt", OPEN_READ | OPEN_SHARE_READ).Succeeded());
    overlay.Reset();

    char bytes[16] = {};
    EXPECT_EQ(fromArchive.Read(bytes, sizeof bytes), 10);
    EXPECT_EQ(std::string(bytes, 10), "still here");
    EXPECT_EQ(fromFolder.Read(bytes, sizeof bytes), 8);
}

}  // namespace
}  // namespace vfs
