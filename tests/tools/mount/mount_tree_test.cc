#include "tools/mount/mount_tree.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/mount/mount_test_archive.h"
#include "vfs/wad/wad_entry_record.h"
#include "vfs/wad/wad_writer.h"

namespace tarnwad::mount {
namespace {

using testing::ArchiveFiles;
using testing::Lines;
using testing::Noise;
using testing::OpenWad;
using testing::Text;
using vfs::WadCoding;

std::vector<std::string> ChildNames(const MountTree& tree, const char* path) {
    std::vector<std::string> names;
    const MountNode* node = tree.Find(path);
    if (node == nullptr) {
        ADD_FAILURE() << "no " << path;
        return names;
    }
    for (uint32_t child : node->children) {
        names.push_back(tree.Node(child).Name() + (tree.Node(child).directory ? "/" : ""));
    }
    return names;
}

TEST(MountTreeTest, AddsDirectoriesWithTheirParentsAndFilesBelowThem) {
    MountTree tree;
    EXPECT_EQ(tree.NodeCount(), 1u);
    ASSERT_NE(tree.Find("/"), nullptr);
    EXPECT_TRUE(tree.Find("/")->directory);
    const uint32_t level = tree.AddDirectory("maps\\level1");
    ASSERT_NE(level, ~0u);
    EXPECT_EQ(tree.AddDirectory("maps/level1/"), level);
    vfs::WadEntryRecord record;
    record.storedSize = 5;
    record.dataOffset = 200;
    EXPECT_TRUE(tree.AddFile("maps\\level1\\a.txt", record));
    EXPECT_FALSE(tree.AddFile("maps\\level1\\a.txt", record));  // there already
    EXPECT_TRUE(tree.AddFile("sounds\\b.raw", record));         // its directory is made
    EXPECT_EQ(tree.FileCount(), 2u);
    EXPECT_EQ(tree.DirectoryCount(), 3u);
    const MountNode* file = tree.Find("/maps/level1/a.txt");
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(file->directory);
    EXPECT_EQ(file->Name(), "a.txt");
    EXPECT_EQ(file->size, 5u);
    EXPECT_EQ(file->dataOffset, 200u);
    EXPECT_EQ(tree.ArchivePath(tree.IndexOf(*file)), "maps\\level1\\a.txt");
    EXPECT_EQ(tree.Node(file->parent).Name(), "level1");
    EXPECT_EQ(tree.Find("/maps")->subdirectories, 1u);
    EXPECT_EQ(ChildNames(tree, "/"), (std::vector<std::string>{"maps/", "sounds/"}));
    // A file holds the place: no directory through it, no file beneath it.
    EXPECT_EQ(tree.AddDirectory("maps\\level1\\a.txt\\deeper"), ~0u);
    EXPECT_FALSE(tree.AddFile("maps\\level1\\a.txt\\x", record));
    EXPECT_EQ(tree.Find("/maps/level1/a.txt/deeper"), nullptr);
    EXPECT_EQ(tree.Find("/nothing"), nullptr);
    EXPECT_EQ(tree.Find("maps"), nullptr);  // mount paths begin with "/"
}

TEST(MountTreeTest, SizesAreWhatAReadGives) {
    MountTree tree;
    vfs::WadEntryRecord record;
    record.storedSize = 10;
    record.unpackedSize = 99;
    record.flags = vfs::WAD_FLAG_LZ;
    ASSERT_TRUE(tree.AddFile("lz", record));
    record.flags = vfs::WAD_FLAG_ZLIB | vfs::WAD_FLAG_LZ;
    ASSERT_TRUE(tree.AddFile("zlib", record));
    record.flags = 0x80;  // an unknown flag: read as its stored bytes
    ASSERT_TRUE(tree.AddFile("odd", record));
    EXPECT_EQ(tree.Find("/lz")->coding, vfs::WadCoding::LZ);
    EXPECT_EQ(tree.Find("/lz")->size, 99u);
    EXPECT_EQ(tree.Find("/zlib")->coding, vfs::WadCoding::ZLIB);
    EXPECT_EQ(tree.Find("/odd")->coding, vfs::WadCoding::STORED);
    EXPECT_EQ(tree.Find("/odd")->size, 10u);
}

// What unpack writes of it, the tree shows: lower-case names, refused,
// unsafe and hidden entries left out, directories first.
TEST(MountTreeTest, BuiltFromAnArchiveItShowsWhatUnpackWrites) {
    ArchiveFiles files;
    vfs::WadWriter writer(2);
    writer.AddFile("GroundTile.png", Noise(3000, 1), WadCoding::STORED);
    writer.AddFile("Maps\\Level1\\Layout.txt", Lines("tile", 400), WadCoding::LZ);
    writer.AddFile("maps/level2/layout.txt", Lines("rock", 300), WadCoding::ZLIB);
    writer.AddFile("secret\\hidden.txt", Text("hidden"));
    writer.SetFlags(3, vfs::WAD_FLAG_REFUSED);
    writer.AddFile("readme.txt", Text("first"));
    writer.AddFile("README.TXT", Text("second"));
    writer.AddFile("..\\escaped.txt", Text("e"));
    writer.AddFile("a", Text("a file"));
    writer.AddFile("a\\b", Text("beneath a directory of the same name"));
    vfs::FileSystemRef archive = OpenWad(files.Save("t.wad", writer));

    MountTree tree;
    MountTreeReport report;
    BuildMountTree(archive, tree, report);

    // The directories, the newest first as the archive lists them; the
    // refused entry's directory stays, empty, as unpack creates it.
    EXPECT_EQ(ChildNames(tree, "/"),
              (std::vector<std::string>{"a/", "secret/", "maps/", "groundtile.png", "readme.txt"}));
    EXPECT_EQ(ChildNames(tree, "/maps"), (std::vector<std::string>{"level2/", "level1/"}));
    EXPECT_EQ(ChildNames(tree, "/secret"), (std::vector<std::string>{}));
    EXPECT_EQ(ChildNames(tree, "/a"), (std::vector<std::string>{"b"}));
    const MountNode* layout = tree.Find("/maps/level1/layout.txt");
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->coding, vfs::WadCoding::LZ);
    EXPECT_EQ(layout->size, Lines("tile", 400).size());
    EXPECT_EQ(tree.Find("/Maps"), nullptr);
    EXPECT_EQ(tree.Find("/maps/level2/layout.txt")->coding, vfs::WadCoding::ZLIB);
    EXPECT_EQ(tree.Find("/groundtile.png")->size, 3000u);
    EXPECT_EQ(tree.Find("/readme.txt")->size, 5u);  // the first record of the path
    EXPECT_EQ(tree.FileCount(), 5u);

    EXPECT_EQ(report.refused, (std::vector<std::string>{"secret\\hidden.txt"}));
    EXPECT_EQ(report.hidden, (std::vector<std::string>{"readme.txt"}));
    EXPECT_EQ(report.unreachable,
              (std::vector<LeftOutFile>{
                  {"a",
                   "cannot be opened: its path names a directory of the archive as well, and "
                   "lookups find the directory first"}}));
    EXPECT_TRUE(report.unsafe.empty());  // "..\escaped.txt" never reaches the tree
    EXPECT_EQ(tree.Find("/escaped.txt"), nullptr);
}

TEST(MountTreeTest, AnInnerRootMountsItsSubTree) {
    ArchiveFiles files;
    vfs::WadWriter writer(1);
    writer.AddFile("groundtile.png", Text("g"));
    writer.AddFile("maps\\level1\\layout.txt", Lines("tile", 40), WadCoding::LZ);
    writer.AddFile("maps\\level2\\layout.txt", Text("two"));
    writer.AddFile("maps\\index.txt", Text("index"));
    const std::string path = files.Save("t.wad", writer);
    vfs::FileSystemRef archive = OpenWad(path + "*\\maps");

    MountTree tree;
    MountTreeReport report;
    BuildMountTree(archive, tree, report);
    EXPECT_EQ(ChildNames(tree, "/"), (std::vector<std::string>{"level2/", "level1/", "index.txt"}));
    const MountNode* layout = tree.Find("/level1/layout.txt");
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(tree.ArchivePath(tree.IndexOf(*layout)), "level1\\layout.txt");
    EXPECT_EQ(tree.Find("/groundtile.png"), nullptr);
}

TEST(MountTreeTest, AnEmptyArchiveIsAnEmptyTop) {
    ArchiveFiles files;
    vfs::FileSystemRef archive = OpenWad(files.Save("e.wad", vfs::WadWriter(2)));
    MountTree tree;
    MountTreeReport report;
    BuildMountTree(archive, tree, report);
    EXPECT_EQ(tree.NodeCount(), 1u);
    EXPECT_TRUE(tree.Find("/")->children.empty());
}

}  // namespace
}  // namespace tarnwad::mount
