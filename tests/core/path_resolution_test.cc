#include "vfs/core/path_resolution.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vfs/core/find_data.h"
#include "vfs/host/host_limits.h"
#include "vfs/host/path_drive.h"

namespace vfs {
namespace {

std::string Parse(const char* commandLine, uint32_t size = HOST_MAX_PATH) {
    char out[HOST_MAX_PATH];
    ParseProgramDirectory(commandLine, out, size);
    return out;
}

TEST(ProgramDirectory, QuotedPathsKeepTheirSpaces) {
    EXPECT_EQ(Parse("\"C:\\Program Files\\Tarn Tools\\tarnwad.exe\" --flag"),
              "C:\\Program Files\\Tarn Tools\\");
    EXPECT_EQ(Parse("\"/opt/my tools/bin/tarnwad\""), "/opt/my tools/bin/");
    EXPECT_EQ(Parse("\"/unterminated dir/prog"), "/unterminated dir/");
}

TEST(ProgramDirectory, UnquotedPathsEndAtTheFirstSpace) {
    EXPECT_EQ(Parse("C:\\games\\tool.exe arg\\with\\separators"), "C:\\games\\");
    EXPECT_EQ(Parse("/usr/bin/tarnwad"), "/usr/bin/");
    EXPECT_EQ(Parse("C:\\my games\\tool.exe"), "C:\\");
    EXPECT_EQ(Parse("dir/sub\\prog"), "dir/sub\\") << "the later of the two separators wins";
}

TEST(ProgramDirectory, NoSeparatorGivesAnEmptyDirectory) {
    EXPECT_EQ(Parse("tarnwad.exe"), "");
    EXPECT_EQ(Parse("\"tarn wad.exe\""), "");
    EXPECT_EQ(Parse(""), "");
    EXPECT_EQ(Parse(nullptr), "");
}

TEST(ProgramDirectory, LongCommandLinesNeverOverrunTheResult) {
    std::string longLine = "\"/" + std::string(HOST_MAX_PATH * 2, 'd') + "/prog\"";
    std::string dir = Parse(longLine.c_str());
    EXPECT_LT(dir.size(), HOST_MAX_PATH);
    EXPECT_EQ(Parse("/abc/def/prog", 6), "/abc/") << "only size - 1 characters are considered";
}

TEST(BaseDirectory, IsTheRunningExecutablesDirectory) {
    std::string base = GetBaseDirectory();
    ASSERT_FALSE(base.empty());
    EXPECT_TRUE(IsPathSeparator(base.back()));
    EXPECT_EQ(GetBaseDirectory(), GetBaseDirectory()) << "computed once";
}

TEST(BaseDirectory, CanBeChosenByTheProgramAndGivenBack) {
    std::string executables = GetBaseDirectory();
    EXPECT_EQ(SetBaseDirectory("relative/dir"), Result::Fail());
    EXPECT_EQ(SetBaseDirectory(std::string(HOST_MAX_PATH, '/').c_str()), Result::Fail());
    EXPECT_EQ(GetBaseDirectory(), executables) << "a refused directory changes nothing";

    ASSERT_EQ(SetBaseDirectory("/home/user/mods"), Result::Ok());
    char buffer[HOST_MAX_PATH];
    ASSERT_EQ(ResolvePath(buffer, sizeof(buffer), "a.wad"), Result::Ok());
    EXPECT_STREQ(buffer, "/home/user/mods/a.wad");
    ASSERT_EQ(SetBaseDirectory("C:\\games\\"), Result::Ok());
    EXPECT_STREQ(GetBaseDirectory(), "C:\\games\\");
    ASSERT_EQ(SetBaseDirectory("D:\\mods"), Result::Ok());
    EXPECT_STREQ(GetBaseDirectory(), "D:\\mods\\") << "the directory's own kind of separator";

    ASSERT_EQ(SetBaseDirectory(nullptr), Result::Ok());
    EXPECT_EQ(GetBaseDirectory(), executables);
}

std::string Resolve(const char* path, uint32_t size = HOST_MAX_PATH) {
    char buffer[HOST_MAX_PATH];
    std::memset(buffer, 'X', sizeof(buffer));
    Result r = ResolvePath(buffer, size, path);
    return r.Succeeded() ? std::string(buffer) : "<fail:" + std::string(buffer) + ">";
}

TEST(ResolvePath, AppliesItsRulesInOrder) {
    std::string base = GetBaseDirectory();
    EXPECT_EQ(Resolve(nullptr), base);
    EXPECT_EQ(Resolve("C:\\games\\a.wad"), "C:\\games\\a.wad");
    EXPECT_EQ(Resolve("c:/games/a.wad"), "c:/games/a.wad");
    EXPECT_EQ(Resolve("\\\\server\\share\\a.wad"), "\\\\server\\share\\a.wad");
    EXPECT_EQ(Resolve("//server/share"), "//server/share");
    // A rooted path takes the base directory's drive, where the host has
    // drives.
    std::string drive = base.substr(0, host::GetDriveLength(base.c_str()));
    EXPECT_EQ(Resolve("/tmp/a.wad"), drive + "/tmp/a.wad");
    EXPECT_EQ(Resolve("\\tmp\\a.wad"), drive + "\\tmp\\a.wad");
    EXPECT_EQ(Resolve("data\\level.wad"), base + "data\\level.wad");
    EXPECT_EQ(Resolve("C:level.wad"), base + "C:level.wad")
        << "a drive without a separator counts as relative";
    EXPECT_EQ(Resolve(""), base);
}

TEST(ResolvePath, FailsRatherThanCuttingAPath) {
    std::string base = GetBaseDirectory();
    uint32_t exact = static_cast<uint32_t>(base.size() + 3 + 1);
    EXPECT_EQ(Resolve("abc", exact), base + "abc");
    EXPECT_EQ(Resolve("abc", exact - 1), "<fail:>");
    std::string tooLong = "/" + std::string(HOST_MAX_PATH, 'x');
    EXPECT_EQ(Resolve(tooLong.c_str()), "<fail:>");
}

TEST(FindDataPreparation, PointsNameAfterTheLastSeparator) {
    FindData found;
    ASSERT_EQ(PrepareFindData(&found, "dir\\sub/*.*"), Result::Ok());
    EXPECT_EQ(found.name, found.path + 8);
    ASSERT_EQ(StoreFoundName(&found, "file.txt"), Result::Ok());
    EXPECT_STREQ(found.path, "dir\\sub/file.txt");
    EXPECT_STREQ(found.name, "file.txt");

    ASSERT_EQ(PrepareFindData(&found, "*.*"), Result::Ok());
    EXPECT_EQ(found.name, found.path);
    ASSERT_EQ(StoreFoundName(&found, "x"), Result::Ok());
    EXPECT_STREQ(found.path, "x");
}

TEST(FindDataPreparation, RefusesWhatDoesNotFit) {
    FindData found;
    std::string longPattern(HOST_MAX_PATH, 'p');
    EXPECT_EQ(PrepareFindData(&found, longPattern.c_str()), Result::Fail());

    std::string dir(HOST_MAX_PATH - 6, 'd');
    ASSERT_EQ(PrepareFindData(&found, (dir + "\\*").c_str()), Result::Ok());
    EXPECT_EQ(StoreFoundName(&found, "abcd"), Result::Ok()) << "fills the buffer exactly";
    EXPECT_EQ(StoreFoundName(&found, "abcde"), Result::Fail());
    EXPECT_STREQ(found.name, "abcd") << "a refused name leaves the record unchanged";
}

}  // namespace
}  // namespace vfs
