// An unpack on Windows, into a real folder: names the system would change
// fail, and of two names it takes for one entry the later fails, instead of
// one entry's bytes silently replacing the other's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/unpack_dialog.h"
#include "tests/host/temp_directory.h"
#include "vfs/wad/wad_writer.h"

namespace tarnwad {
namespace {

class SilentHost : public DialogHost {
  public:
    void GetPathText(char* buffer, uint32_t size) override {
        std::snprintf(buffer, size, "%s", "");
    }
    void SetStatusLine(const char*) override {}
    void ShowMessage(const char*, const char*) override {}
};

TEST(HostNamesUnpackWin32Test, NamesTheSystemWouldMergeAreFailuresNotReplacements) {
    vfs::test::TempDirectory dir;
    vfs::WadWriter writer(2);
    auto add = [&](const char* path, const char* bytes) {
        ASSERT_TRUE(writer.AddFile(path, std::vector<uint8_t>(bytes, bytes + std::strlen(bytes)))
                        .Succeeded())
            << path;
    };
    add("trail", "plain");
    add("trail.", "dot");
    add("sp ", "space");
    add("\xE9.txt", "small");
    add("\xC9.txt", "capital");
    add("\xE9\\a.txt", "in the first folder");
    add("\xC9\\b.txt", "in the second folder");
    std::vector<uint8_t> archive = writer.Finish();
    dir.WriteFile("a.wad", std::string(archive.begin(), archive.end()));
    dir.MakeDirectory("out");

    SilentHost host;
    UnpackDialog dialog(host);
    ASSERT_TRUE(dialog.source.OpenArchive(dir.Join("a.wad").c_str(), 0).Succeeded());
    EXPECT_FALSE(dialog.UnpackInto(dir.Join("out").c_str()));

    std::vector<std::string> failed;
    for (const CopyFailure& failure : dialog.lastOutcome.copy.failures) {
        failed.push_back(failure.path + " " + DescribeCopyFailure(failure.kind));
    }
    std::sort(failed.begin(), failed.end());
    // Of each pair, the one the copy meets second fails: files in record
    // order, directories in the archive's order for them (the one named last
    // first).
    const std::string clash = "has a name this system takes for another entry's";
    const std::string unusable = "has a name that cannot be used as a file name";
    std::vector<std::string> expected = {"\xE9\\ " + clash, "\xC9.txt " + clash,
                                         "\xE9\\a.txt skipped", "sp  " + unusable,
                                         "trail. " + unusable};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(failed, expected);
    EXPECT_EQ(dir.ReadFile("out/trail"), "plain");
    EXPECT_EQ(dir.ReadFile("out/\xE9.txt"), "small");
    EXPECT_EQ(dir.ReadFile("out/\xC9/b.txt"), "in the second folder");
    EXPECT_FALSE(dir.Exists("out/\xC9/a.txt"));
}

}  // namespace
}  // namespace tarnwad
