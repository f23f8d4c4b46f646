#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/parallel_tree_copy.h"
#include "app/tree_walk.h"
#include "app/unpack_dialog.h"
#include "tests/app/memory_file_system.h"
#include "tests/host/temp_directory.h"
#include "vfs/host/host_limits.h"

namespace tarnwad {
namespace {

using testing::MemoryFileSystem;

class RecordingHost : public DialogHost {
  public:
    void GetPathText(char* buffer, uint32_t size) override {
        std::snprintf(buffer, size, "%s", path.c_str());
    }
    void SetStatusLine(const char* text) override {
        status.push_back(text);
        if (log != nullptr) {
            log->push_back("status " + std::string(text));
        }
    }
    void ShowMessage(const char* text, const char* caption) override {
        messages.push_back(std::string(caption) + ": " + text);
    }

    std::string path;
    std::vector<std::string> status;
    std::vector<std::string> messages;
    std::vector<std::string>* log = nullptr;
};

class TreeCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        from = new MemoryFileSystem();
        to = new MemoryFileSystem();
        dialog.source.Set(from);
        dialog.destination.Set(to);
    }

    std::vector<std::string> Paths(const CopyReport& report) {
        std::vector<std::string> paths;
        for (const CopyFailure& failure : report.failures) {
            paths.push_back(failure.path + " " + DescribeCopyFailure(failure.kind));
        }
        return paths;
    }

    RecordingHost host;
    UnpackDialog dialog{host};
    MemoryFileSystem* from = nullptr;
    MemoryFileSystem* to = nullptr;
};

TEST_F(TreeCopyTest, DirectoriesFirstDepthFirstThenFiles) {
    from->AddDirectory("a");
    from->AddDirectory("b");
    from->AddFile("a\\z", "zz");
    from->AddFile("x", "xx");
    from->AddFile("y", "yyy");
    std::vector<std::string> log;
    to->log = &log;
    host.log = &log;

    CopyReport report = dialog.CopyTree(vfs::VfsString());

    EXPECT_TRUE(report.Complete());
    EXPECT_EQ(report.filesCopied, 3u);
    EXPECT_EQ(report.directoriesCreated, 2u);
    EXPECT_EQ(report.bytesCopied, 7u);
    // Each file goes to a temporary name first and takes its own name once
    // written in full.
    std::vector<std::string> expected = {
        "find a",   "mkdir a",       "open a\\<temp>", "status a\\z", "move a\\<temp> a\\z",
        "status ",  "find b",        "mkdir b",        "status ",     "open <temp>",
        "status x", "move <temp> x", "open <temp>",    "status y",    "move <temp> y",
        "status "};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(to->files["a\\z"], "zz");
    EXPECT_EQ(to->files["y"], "yyy");
    EXPECT_EQ(host.status.back(), "") << "the status line is empty at the end";
}

TEST_F(TreeCopyTest, BlockBoundariesAreCopiedExactly) {
    std::string oneBlock(kCopyBlockSize, 'a');
    std::string oneMore = oneBlock + "b";
    from->AddFile("empty", "");
    from->AddFile("block", oneBlock);
    from->AddFile("more", oneMore);
    CopyReport report = dialog.CopyTree(vfs::VfsString());
    EXPECT_TRUE(report.Complete());
    EXPECT_EQ(to->files.at("empty"), "");
    EXPECT_EQ(to->files.at("block"), oneBlock);
    EXPECT_EQ(to->files.at("more"), oneMore);

    // A second copy in the same run reuses the buffer and gives the same result.
    to->files.clear();
    EXPECT_TRUE(dialog.CopyTree(vfs::VfsString()).Complete());
    EXPECT_EQ(to->files.at("more"), oneMore);
}

TEST_F(TreeCopyTest, ExistingDirectoriesAreReusedAndOtherFilesLeftAlone) {
    from->AddFile("maps\\one", "new");
    to->AddFile("maps\\one", "old contents");
    to->AddFile("maps\\keep", "kept");
    CopyReport report = dialog.CopyTree(vfs::VfsString());
    EXPECT_TRUE(report.Complete());
    EXPECT_EQ(report.directoriesCreated, 0u);
    EXPECT_EQ(to->files["maps\\one"], "new");
    EXPECT_EQ(to->files["maps\\keep"], "kept");
}

TEST_F(TreeCopyTest, ADirectoryThatCannotBeCreatedLosesOnlyWhatLiesBeneathIt) {
    // top: dirs p (holding q, r, and file p\f), s; files t.
    from->AddDirectory("p");
    from->AddDirectory("p\\q");
    from->AddDirectory("p\\r");
    from->AddFile("p\\q\\deep", "1");
    from->AddFile("p\\r\\kept", "2");
    from->AddFile("p\\f", "3");
    from->AddFile("s\\fine", "4");
    from->AddFile("t", "5");
    to->failCreateDirectory.insert("p\\q");

    CopyReport report = dialog.CopyTree(vfs::VfsString());

    // Its siblings, its level's files and the level above all go on.
    for (const char* copied : {"p\\r\\kept", "p\\f", "s\\fine", "t"}) {
        EXPECT_EQ(to->files.count(copied), 1u) << copied;
    }
    EXPECT_EQ(Paths(report), (std::vector<std::string>{
                                 "p\\q\\ directory cannot be created",
                                 "p\\q\\deep skipped",
                             }));
    EXPECT_EQ(report.filesCopied, 4u);
}

TEST_F(TreeCopyTest, ADirectoryAnotherProcessCreatesMeanwhileIsUsed) {
    from->AddFile("p\\a", "1");
    from->AddFile("p\\q\\b", "2");
    to->createdByOther.insert("p");
    to->createdByOther.insert("p\\q");

    CopyReport report = dialog.CopyTree(vfs::VfsString());

    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.filesCopied, 2u);
    EXPECT_EQ(report.directoriesCreated, 0u) << "neither was made by this copy";
}

TEST_F(TreeCopyTest, FailuresInsideTheCopyAreRecordedAndTheCopyGoesOn) {
    from->AddFile("unreadable", "a");
    from->AddFile("locked\\uncreatable", "b");
    from->AddFile("full\\halfwritten", "cccc");
    from->AddFile("shortread", "dddd");
    from->AddFile("good", "e");
    from->failOpen.insert("unreadable");
    to->failOpen.insert("locked\\");
    to->shortWrite.insert("full\\");
    from->shortRead.insert("shortread");
    to->files["shortread"] = "kept as it was";

    CopyReport report = dialog.CopyTree(vfs::VfsString());

    ASSERT_EQ(report.failures.size(), 4u);
    std::vector<std::string> paths = Paths(report);
    EXPECT_NE(std::find(paths.begin(), paths.end(), "unreadable cannot be opened for reading"),
              paths.end());
    EXPECT_NE(std::find(paths.begin(), paths.end(), "locked\\uncreatable cannot be created"),
              paths.end());
    EXPECT_NE(
        std::find(paths.begin(), paths.end(), "full\\halfwritten could not be written in full"),
        paths.end());
    EXPECT_NE(std::find(paths.begin(), paths.end(), "shortread could not be read in full"),
              paths.end());
    EXPECT_EQ(to->files["good"], "e");
    EXPECT_EQ(report.filesCopied, 1u);
    // Nothing half-written takes an entry's name, no temporary file stays,
    // and a file of a failed entry's name keeps what it had.
    EXPECT_EQ(to->files.count("full\\halfwritten"), 0u);
    EXPECT_EQ(to->files["shortread"], "kept as it was");
    for (const auto& [path, contents] : to->files) {
        EXPECT_EQ(path.find("Tarnwad"), std::string::npos) << path;
    }
}

TEST_F(TreeCopyTest, TheThreadedCopyGivesTheInOrderCopysReport) {
    // The same tree, with failures of every stage, copied by both copies.
    auto fill = [](MemoryFileSystem& source, MemoryFileSystem& destination) {
        source.AddFile("a\\one", "1");
        source.AddFile("a\\b\\two", "22");
        source.AddFile("locked\\lost", "3");
        source.AddFile("unreadable", "4");
        source.AddFile("short", "5555");
        source.AddFile("top", "666666");
        source.failOpen.insert("unreadable");
        source.shortRead.insert("short");
        destination.failOpen.insert("locked\\");
    };
    auto copy = [&](unsigned jobs, std::vector<std::string>& shown,
                    std::map<std::string, std::string>& files) {
        RecordingHost recording;
        UnpackDialog copier(recording);
        auto* source = new MemoryFileSystem();
        auto* destination = new MemoryFileSystem();
        fill(*source, *destination);
        copier.source.Set(source);
        copier.destination.Set(destination);
        copier.jobs = jobs;
        CopyReport report = copier.CopyTree(vfs::VfsString());
        for (const std::string& text : recording.status) {
            if (!text.empty()) {
                shown.push_back(text);
            }
        }
        files = destination->files;
        return report;
    };
    std::vector<std::string> inOrderShown, threadedShown;
    std::map<std::string, std::string> inOrderFiles, threadedFiles;
    const CopyReport inOrder = copy(1, inOrderShown, inOrderFiles);
    const CopyReport threaded = copy(3, threadedShown, threadedFiles);

    ASSERT_EQ(Paths(threaded), Paths(inOrder));
    EXPECT_EQ(Paths(inOrder).size(), 3u);
    for (size_t i = 0; i < inOrder.failures.size(); ++i) {
        EXPECT_EQ(threaded.failures[i].detail, inOrder.failures[i].detail);
    }
    EXPECT_EQ(threaded.filesCopied, inOrder.filesCopied);
    EXPECT_EQ(threaded.bytesCopied, inOrder.bytesCopied);
    EXPECT_EQ(threaded.directoriesCreated, inOrder.directoriesCreated);
    EXPECT_EQ(threadedShown, inOrderShown);
    EXPECT_EQ(threadedFiles, inOrderFiles);
}

TEST_F(TreeCopyTest, TheThreadedCopyRefillsAWindowSmallerThanTheTree) {
    // Many times more items than the window holds, with failures among
    // them, copied by three threads into a real directory: the slots are
    // reused over and over while files are still being copied, and the
    // report, the status texts and the files are still the in-order copy's.
    for (int d = 0; d < 3; ++d) {
        for (int f = 0; f < 40; ++f) {
            const std::string name =
                std::string{'d', static_cast<char>('0' + d), '\\', 'f'} + std::to_string(f);
            from->AddFile(name, name + std::string(static_cast<size_t>(f), 'x'));
        }
    }
    from->AddFile("d0\\deeper\\g", "g");
    from->AddFile("top", "t");
    from->failOpen.insert("d1\\f7");
    from->shortRead.insert("d2\\f30");
    std::vector<std::string> shown[2];
    auto settings = [&](int run) {
        TreeCopySettings copy;
        copy.showStatus = [&shown, run](const char* text) {
            if (*text != '\0') {
                shown[run].push_back(text);
            }
        };
        return copy;
    };
    const TreeCopySettings inOrderSettings = settings(0);
    const TreeCopySettings threadedSettings = settings(1);
    const CopyReport inOrder =
        CopyTreeInOrder(dialog.source, dialog.destination, "", inOrderSettings);

    vfs::test::TempDirectory dir;
    vfs::FileSystemRef output;
    ASSERT_TRUE(output.OpenHeldDirectory(dir.Path().c_str()).Succeeded());
    const CopyReport threaded =
        ParallelTreeCopy(dialog.source, output, threadedSettings, 3, 8).Run("");

    EXPECT_EQ(Paths(threaded), Paths(inOrder));
    EXPECT_EQ(Paths(inOrder).size(), 2u);
    EXPECT_EQ(threaded.filesCopied, inOrder.filesCopied);
    EXPECT_EQ(threaded.bytesCopied, inOrder.bytesCopied);
    EXPECT_EQ(threaded.directoriesCreated, inOrder.directoriesCreated);
    EXPECT_EQ(shown[1], shown[0]);
    size_t onDisk = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
        onDisk += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(onDisk, to->files.size());
    for (const auto& [path, contents] : to->files) {
        std::string slashed = path;
        std::replace(slashed.begin(), slashed.end(), '\\', '/');
        EXPECT_EQ(dir.ReadFile(slashed), contents) << path;
    }
}

TEST_F(TreeCopyTest, DotEntriesAreSkippedAndUnsafeNamesRecorded) {
    from->AddFile("ok", "1");
    from->extraNames = {
        {".", true}, {"..", true}, {"", false}, {"evil\\name", false}, {"sub/dir", true}};
    std::vector<std::string> log;
    to->log = &log;

    CopyReport report = dialog.CopyTree(vfs::VfsString());

    EXPECT_EQ(Paths(report), (std::vector<std::string>{
                                 "sub/dir has a name that cannot be used as a file name",
                                 " has a name that cannot be used as a file name",
                                 "evil\\name has a name that cannot be used as a file name",
                             }));
    for (const std::string& event : log) {
        EXPECT_EQ(event.find(".."), std::string::npos) << event;
        EXPECT_EQ(event.find("evil"), std::string::npos) << event;
    }
    EXPECT_EQ(to->files.size(), 1u);
}

TEST_F(TreeCopyTest, NothingIsWrittenThroughALinkOrIntoASpecialFile) {
    from->AddFile("linked\\inner", "1");
    from->AddFile("file-link", "new bytes");
    from->AddFile("fifo", "2");
    from->AddFile("folder", "3");
    from->AddFile("z\\after", "4");
    // What already stands in the destination under the entries' names.
    to->attributesOf["linked"] = vfs::FILE_ATTRIBUTE_REPARSE_POINT | vfs::FILE_ATTRIBUTE_DIRECTORY;
    to->AddFile("file-link", "what the link leads to");
    to->attributesOf["file-link"] = vfs::FILE_ATTRIBUTE_REPARSE_POINT;
    to->attributesOf["fifo"] = vfs::FILE_ATTRIBUTE_DEVICE;
    to->AddDirectory("folder");

    CopyReport report = dialog.CopyTree(vfs::VfsString());

    // A directory link is never entered: the rest of its level is skipped.
    ASSERT_FALSE(report.failures.empty());
    EXPECT_EQ("linked\\", report.failures[0].path);
    EXPECT_EQ(CopyFailureKind::kCreateDirectory, report.failures[0].kind);
    EXPECT_EQ("a symbolic link is in its place", report.failures[0].detail);
    EXPECT_EQ(to->files.count("linked\\inner"), 0u);
    to->attributesOf.erase("linked");
    report = dialog.CopyTree(vfs::VfsString());

    // A link of a file's name is replaced by the file, a FIFO and a
    // directory are left alone and named.
    EXPECT_EQ(to->files["file-link"], "new bytes");
    EXPECT_EQ(to->attributesOf.count("file-link"), 0u);
    std::vector<std::string> expected = {"fifo cannot be created", "folder cannot be created"};
    EXPECT_EQ(Paths(report), expected);
    EXPECT_EQ(report.failures[0].detail, "a FIFO, device or socket is in its place");
    EXPECT_EQ(report.failures[1].detail, "a directory is in its place");
    EXPECT_EQ(to->files.count("fifo"), 0u);
    EXPECT_EQ(to->files["z\\after"], "4");
    for (const auto& [path, contents] : to->files) {
        EXPECT_EQ(path.find("Tarnwad"), std::string::npos) << "temporary file left: " << path;
    }
}

TEST_F(TreeCopyTest, ALaterEntryOfTheSamePathIsAWarningNotACopy) {
    from->AddFile("same", "first");
    from->extraNames = {{"same", false}};
    std::vector<std::string> log;
    to->log = &log;

    CopyReport report = dialog.CopyTree(vfs::VfsString());

    EXPECT_TRUE(report.Complete());
    EXPECT_EQ(report.filesCopied, 1u);
    ASSERT_EQ(report.warnings.size(), 1u);
    EXPECT_EQ(report.warnings[0].path, "same");
    EXPECT_EQ(report.warnings[0].text, kHiddenEntryWarning);
    EXPECT_EQ(std::count(log.begin(), log.end(), "move <temp> same"), 1);
}

TEST_F(TreeCopyTest, ADeepTreeIsWalkedWithoutRecursion) {
    // Deep enough that a stack frame per level (each with its find record)
    // would overflow the thread's stack, where the host's paths are long
    // enough for such a tree (on Windows they end at 260 bytes).
    const uint32_t levels = std::min<uint32_t>(1800, (vfs::HOST_MAX_PATH - 8) / 2);
    std::string path;
    for (uint32_t level = 0; level < levels; ++level) {
        path += "d\\";
    }
    from->AddFile(path + "leaf", "deep");
    from->AddFile("top", "t");

    CopyReport report = dialog.CopyTree(vfs::VfsString());

    EXPECT_TRUE(report.Complete());
    EXPECT_EQ(report.directoriesCreated, levels);
    EXPECT_EQ(to->files[path + "leaf"], "deep");
    EXPECT_EQ(to->files["top"], "t");
}

}  // namespace
}  // namespace tarnwad
