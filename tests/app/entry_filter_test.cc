#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/path_selection.h"
#include "app/unpack_dialog.h"
#include "tests/app/memory_file_system.h"
#include "tests/host/temp_directory.h"
#include "vfs/wad/wad_writer.h"

namespace tarnwad {
namespace {

using testing::MemoryFileSystem;

class StatusHost : public DialogHost {
  public:
    void GetPathText(char* buffer, uint32_t size) override {
        std::snprintf(buffer, size, "%s", path.c_str());
    }
    void SetStatusLine(const char* text) override { status.push_back(text); }
    void ShowMessage(const char*, const char*) override {}

    std::string path;
    std::vector<std::string> status;
};

TEST(PathSelectionTest, FilesTakeTheirDirectoriesAndDirectoriesTakeTheirTrees) {
    PathSelection selection;
    EXPECT_TRUE(selection.Empty());
    selection.AddFile("maps\\level1\\a.txt");
    selection.AddDirectory("sounds");
    EXPECT_FALSE(selection.Empty());

    EXPECT_TRUE(selection.TakesFile("maps\\level1\\a.txt"));
    EXPECT_FALSE(selection.TakesFile("maps\\level1\\b.txt"));
    EXPECT_FALSE(selection.TakesFile("maps\\level1\\a.txt.bak"));
    EXPECT_TRUE(selection.TakesDirectory("maps\\"));
    EXPECT_TRUE(selection.TakesDirectory("maps\\level1\\"));
    EXPECT_FALSE(selection.TakesDirectory("maps\\level2\\"));

    EXPECT_TRUE(selection.TakesDirectory("sounds\\"));
    EXPECT_TRUE(selection.TakesDirectory("sounds\\deep\\er\\"));
    EXPECT_TRUE(selection.TakesFile("sounds\\deep\\wind.raw"));
    EXPECT_FALSE(selection.TakesDirectory("soundsx\\"));
    EXPECT_FALSE(selection.TakesFile("sounds.txt"));
    EXPECT_FALSE(selection.TakesFile("readme.txt"));

    PathSelection everything;
    everything.AddDirectory("");
    EXPECT_TRUE(everything.TakesFile("readme.txt"));
    EXPECT_TRUE(everything.TakesDirectory("any\\where\\"));
}

class FilteredCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        from = new MemoryFileSystem();
        to = new MemoryFileSystem();
        dialog.source.Set(from);
        dialog.destination.Set(to);
        from->AddFile("maps\\level1\\a.txt", "a");
        from->AddFile("maps\\level1\\b.txt", "b");
        from->AddFile("maps\\level2\\c.txt", "c");
        from->AddFile("sounds\\wind.raw", "w");
        from->AddFile("readme.txt", "r");
    }

    StatusHost host;
    UnpackDialog dialog{host};
    MemoryFileSystem* from = nullptr;
    MemoryFileSystem* to = nullptr;
};

TEST_F(FilteredCopyTest, OnlyTakenEntriesAreCopiedAndOnlyTheirDirectoriesMade) {
    PathSelection selection;
    selection.AddFile("maps\\level1\\b.txt");
    selection.AddFile("readme.txt");
    dialog.filter = &selection;

    CopyReport report = dialog.CopyTree(vfs::VfsString());

    EXPECT_TRUE(report.Complete());
    EXPECT_EQ(report.filesCopied, 2u);
    EXPECT_EQ(report.directoriesCreated, 2u);
    EXPECT_EQ(to->files.size(), 2u);
    EXPECT_EQ(to->files["maps\\level1\\b.txt"], "b");
    EXPECT_EQ(to->files["readme.txt"], "r");
    EXPECT_EQ(to->directories.count("maps\\level2\\"), 0u);
    EXPECT_EQ(to->directories.count("sounds\\"), 0u);
    std::vector<std::string> named;
    for (const std::string& text : host.status) {
        if (!text.empty()) {
            named.push_back(text);
        }
    }
    EXPECT_EQ(named, (std::vector<std::string>{"maps\\level1\\b.txt", "readme.txt"}));
}

TEST_F(FilteredCopyTest, FailuresAreRecordedOnlyForTakenEntries) {
    PathSelection selection;
    selection.AddDirectory("maps");
    dialog.filter = &selection;
    to->failCreateDirectory.insert("maps");

    CopyReport report = dialog.CopyTree(vfs::VfsString());

    std::vector<std::string> paths;
    for (const CopyFailure& failure : report.failures) {
        paths.push_back(failure.path);
    }
    // The directory that could not be made and what lay beneath it; nothing
    // of sounds\ or readme.txt, which were not asked for.
    EXPECT_EQ(paths.front(), "maps\\");
    EXPECT_EQ(paths.size(), 6u);
    for (const std::string& path : paths) {
        EXPECT_EQ(path.rfind("maps\\", 0), 0u) << path;
    }
    EXPECT_TRUE(to->files.empty());
}

TEST(UnpackIntoTest, CopiesIntoAnExistingDirectoryAndReportsWhatFailed) {
    vfs::test::TempDirectory dir;
    vfs::WadWriter writer(2);
    writer.AddFile("groundtile.png", std::vector<uint8_t>{'g'});
    writer.AddFile("data\\x.txt", std::vector<uint8_t>(500, 'x'), vfs::WadCoding::LZ);
    std::vector<uint8_t> archive = writer.Finish();
    dir.WriteFile("a.wad", std::string(archive.begin(), archive.end()));
    dir.MakeDirectory("out");

    StatusHost host;
    UnpackDialog dialog(host);
    ASSERT_TRUE(dialog.source.OpenArchive(dir.Join("a.wad").c_str(), 0).Succeeded());
    EXPECT_FALSE(dialog.UnpackInto(dir.Join("missing").c_str()));
    EXPECT_EQ(dialog.lastOutcome.failure, "the output directory cannot be opened");

    dialog.lastOutcome = UnpackOutcome();
    EXPECT_TRUE(dialog.UnpackInto(dir.Join("out").c_str()));
    EXPECT_EQ(dialog.lastOutcome.outputDirectory, dir.Join("out"));
    EXPECT_EQ(dir.ReadFile("out/data/x.txt"), std::string(500, 'x'));
    EXPECT_EQ(dir.ReadFile("out/groundtile.png"), "g");
}

}  // namespace
}  // namespace tarnwad
