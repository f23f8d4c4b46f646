#include "vfs/native/native_file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "tests/host/attribute_bits.h"
#include "tests/host/temp_directory.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/find_data.h"
#include "vfs/core/last_error.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/path_resolution.h"
#include "vfs/core/stream_ref.h"
#include "vfs/core/temporary_file.h"
#include "vfs/host/host_limits.h"
#include "vfs/stream/mmio_stream.h"
#include "vfs/stream/win32_file_stream.h"

namespace vfs {
namespace {

using test::TempDirectory;
using Names = std::set<std::string>;

Names NamesOf(const std::map<std::string, uint32_t>& found) {
    Names names;
    for (const auto& entry : found) {
        names.insert(entry.first);
    }
    return names;
}

constexpr uint32_t READ_SHARED = OPEN_READ | OPEN_SHARE_READ;
constexpr uint32_t CREATE_READ_WRITE = OPEN_READ | OPEN_WRITE | OPEN_CREATE;

class NativeFileSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.Valid());
        ASSERT_EQ(0, fs.OpenDirectory(dir.Path().c_str()).status);
    }

    // Every entry that `pattern` finds, by name.
    std::map<std::string, uint32_t> Find(const std::string& pattern) {
        std::map<std::string, uint32_t> found;
        FindData data;
        if (fs.FindFirst(pattern.c_str(), &data).Failed()) {
            return found;
        }
        do {
            found[data.name] = data.attributes;
        } while (fs.FindNext(&data).Succeeded());
        EXPECT_EQ(-1, fs.FindNext(&data).status);  // and again at the end
        return found;
    }

    TempDirectory dir;
    FileSystemRef fs;
};

TEST_F(NativeFileSystemTest, OpenGivesARootPathEndingWithOneSeparator) {
    EXPECT_EQ(dir.Path() + "\\", fs.GetRootPath());
    std::string withSlash = dir.Path() + "/";
    ASSERT_EQ(0, fs.OpenDirectory(withSlash.c_str()).status);
    EXPECT_EQ(withSlash, fs.GetRootPath());
    EXPECT_EQ(1, fs.Get()->GetRefCount());

    // A file may be opened too; the root path then names it.
    dir.WriteFile("file", "x");
    auto* native = new NativeFileSystem();
    EXPECT_EQ(0, native->Open(dir.Join("file").c_str()).status);
    EXPECT_EQ(dir.Join("file") + "\\", native->GetRootPath());
    // A missing path fails and leaves the root path alone.
    EXPECT_EQ(-1, native->Open(dir.Join("missing").c_str()).status);
    EXPECT_EQ(dir.Join("file") + "\\", native->GetRootPath());
    delete native;

    EXPECT_EQ(-1, fs.OpenDirectory(dir.Join("missing").c_str()).status);
    EXPECT_EQ(nullptr, fs.Get());
    EXPECT_EQ(nullptr, fs.GetRootPath());
}

TEST_F(NativeFileSystemTest, ARelativeRootResolvesAgainstTheBaseDirectory) {
    ASSERT_EQ(0, fs.OpenDirectory("").status);
    std::string base = GetBaseDirectory();
    ASSERT_FALSE(base.empty());
    EXPECT_EQ(base, fs.GetRootPath());
}

TEST_F(NativeFileSystemTest, OpenFileChoosesTheBackEnd) {
    dir.WriteFile("f", "contents");
    StreamRef plain;
    ASSERT_EQ(0, fs.OpenFile(plain, "f", READ_SHARED).status);
    EXPECT_NE(nullptr, dynamic_cast<Win32FileStream*>(plain.Get()));
    EXPECT_EQ(1, plain.Get()->GetRefCount());
    StreamRef buffered;
    ASSERT_EQ(0, fs.OpenFile(buffered, "f", READ_SHARED | OPEN_BUFFERED).status);
    EXPECT_NE(nullptr, dynamic_cast<MmioStream*>(buffered.Get()));
    char text[8];
    EXPECT_EQ(8, buffered.Read(text, 8));
    EXPECT_EQ("contents", std::string(text, 8));

    // The buffered back-end never writes: asking it to fails and opens
    // nothing, not even a file to create.
    StreamRef refused;
    EXPECT_EQ(-1, fs.OpenFile(refused, "f", OPEN_READ | OPEN_WRITE | OPEN_BUFFERED).status);
    EXPECT_EQ(nullptr, refused.Get());
    EXPECT_EQ(-1, fs.OpenFile(refused, "new", CREATE_READ_WRITE | OPEN_BUFFERED).status);
    EXPECT_EQ(nullptr, refused.Get());
    EXPECT_FALSE(dir.Exists("new"));

    StreamRef missing;
    EXPECT_EQ(-1, fs.OpenFile(missing, "missing", READ_SHARED).status);
    EXPECT_EQ(nullptr, missing.Get());
    EXPECT_EQ(-1, fs.OpenFile(missing, nullptr, READ_SHARED).status);
}

TEST_F(NativeFileSystemTest, OpenFileIntoAHeldHandleFailsAndKeepsWhatItHolds) {
    dir.WriteFile("a", "aaa");
    dir.WriteFile("b", "bb");
    StreamRef ref;
    ASSERT_EQ(0, fs.OpenFile(ref, "a", READ_SHARED).status);
    Stream* held = ref.Get();
    EXPECT_EQ(-1, fs.OpenFile(ref, "b", READ_SHARED).status);
    EXPECT_EQ(held, ref.Get());
    EXPECT_EQ(1, held->GetRefCount());
    EXPECT_EQ(3, ref.GetSize());
}

TEST_F(NativeFileSystemTest, WritingATreeAsTheCopyDoes) {
    ASSERT_EQ(0, fs.CreateDirectory("out").status);
    ASSERT_EQ(0, fs.CreateDirectory("out\\sub").status);
    StreamRef out;
    ASSERT_EQ(0, fs.OpenFile(out, "out\\sub\\file.bin", 0xC0000010).status);
    EXPECT_EQ(5, out.Write("hello", 5));
    out.Reset();
    EXPECT_EQ("hello", dir.ReadFile("out/sub/file.bin"));
    // Written again: replaced, not appended to.
    ASSERT_EQ(0, fs.OpenFile(out, "out/sub/file.bin", 0xC0000010).status);
    EXPECT_EQ(2, out.Write("hi", 2));
    out.Reset();
    EXPECT_EQ("hi", dir.ReadFile("out/sub/file.bin"));
}

TEST_F(NativeFileSystemTest, EnumerationFindsEveryNameWithDotAndDotDot) {
    dir.MakeDirectory("sub");
    dir.WriteFile("sub/noext", "1");
    dir.WriteFile("sub/a.txt", "22");
    dir.WriteFile("sub/B.TXT", "333");
    std::map<std::string, uint32_t> all = Find("sub\\*.*");
    EXPECT_EQ((Names{".", "..", "noext", "a.txt", "B.TXT"}), NamesOf(all));
    EXPECT_NE(0u, all["."] & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_NE(0u, all[".."] & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(0u, all["noext"] & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(NamesOf(all), NamesOf(Find("sub/*")));
    EXPECT_EQ((Names{"a.txt"}), NamesOf(Find("sub/a*.txt")));
    EXPECT_EQ((Names{".", "..", "a.txt", "B.TXT"}), NamesOf(Find("sub/?.*")));
    EXPECT_EQ((Names{"noext"}), NamesOf(Find("sub/noext.*")));
    EXPECT_TRUE(Find("sub/*.none").empty());
}

TEST_F(NativeFileSystemTest, FindDataPathAndName) {
    dir.MakeDirectory("dir");
    dir.WriteFile("dir/only.txt", "12345");
    FindData data;
    ASSERT_EQ(0, fs.FindFirst("dir\\o*.*", &data).status);
    EXPECT_STREQ("dir\\only.txt", data.path);
    EXPECT_EQ(data.path + 4, data.name);
    EXPECT_EQ(5u, data.size);
    EXPECT_EQ(-1, fs.FindNext(&data).status);

    dir.WriteFile("top", "");
    ASSERT_EQ(0, fs.FindFirst("t*.*", &data).status);
    EXPECT_STREQ("top", data.path);
    EXPECT_EQ(data.path, data.name);
}

TEST_F(NativeFileSystemTest, FindFirstEndsTheEarlierEnumeration) {
    dir.WriteFile("a", "");
    dir.WriteFile("b", "");
    FindData data;
    ASSERT_EQ(0, fs.FindFirst("*.*", &data).status);
    EXPECT_EQ(-1, fs.FindFirst("", &data).status);
    EXPECT_EQ(-1, fs.FindNext(&data).status);
    ASSERT_EQ(0, fs.FindFirst("*.*", &data).status);
    EXPECT_EQ(-1, fs.FindFirst("nothing*", &data).status);
    EXPECT_EQ(-1, fs.FindNext(&data).status);
    EXPECT_EQ(-1, fs.FindFirst(nullptr, &data).status);
    EXPECT_EQ(-1, fs.FindFirst("*", nullptr).status);
    ASSERT_EQ(0, fs.FindFirst("*.*", &data).status);
    static_cast<NativeFileSystem*>(fs.Get())->FindClose();
    EXPECT_EQ(-1, fs.FindNext(&data).status);
}

TEST_F(NativeFileSystemTest, SizesAreReportedModuloTwoToThe32) {
    dir.WriteFile("big", "");
    std::error_code error;
    std::filesystem::resize_file(dir.Join("big"), (uint64_t{1} << 32) + 5, error);
    if (error) {
        GTEST_SKIP() << "no sparse files here";
    }
    FindData data;
    ASSERT_EQ(0, fs.FindFirst("big", &data).status);
    EXPECT_EQ(5u, data.size);
    // The stream does not pretend the file is 5 bytes long.
    StreamRef ref;
    ASSERT_EQ(0, fs.OpenFile(ref, "big", READ_SHARED).status);
    EXPECT_EQ(-1, ref.GetSize());
}

TEST_F(NativeFileSystemTest, DirectoriesAttributesDeleteAndMove) {
    EXPECT_EQ(0, fs.CreateDirectory("d").status);
    EXPECT_EQ(-1, fs.CreateDirectory("d").status);
    EXPECT_EQ(-1, fs.CreateDirectory("x\\y").status);
    dir.WriteFile("d/f", "data");

    EXPECT_EQ(-1, fs.Delete("d").status);  // not empty
    EXPECT_EQ(0, fs.SetAttributes("d\\f", 0x1).status);
    FindData data;
    ASSERT_EQ(0, fs.FindFirst("d\\f", &data).status);
    EXPECT_EQ(0x1u, test::MeaningfulBits(data.attributes));
    EXPECT_EQ(0, fs.SetAttributes("d\\f", 0x80).status);
    EXPECT_EQ(-1, fs.SetAttributes("missing", 0x80).status);

    EXPECT_EQ(0, fs.Move("d\\f", "g").status);
    EXPECT_EQ("data", dir.ReadFile("g"));
    dir.WriteFile("h", "other");
    EXPECT_EQ(-1, fs.Move("g", "h").status);  // never replaces
    EXPECT_EQ("other", dir.ReadFile("h"));

    EXPECT_EQ(0, fs.Delete("d").status);
    EXPECT_FALSE(dir.Exists("d"));
    EXPECT_EQ(0, fs.Delete("g").status);
    EXPECT_EQ(-1, fs.Delete("g").status);
    EXPECT_EQ(-1, fs.Delete(nullptr).status);
}

TEST_F(NativeFileSystemTest, PathsTooLongAreRefusedNotCut) {
    // Cut to fit, these paths would name something below the directory.
    std::string name(HOST_MAX_PATH, 'n');
    StreamRef ref;
    EXPECT_EQ(-1, fs.OpenFile(ref, name.c_str(), CREATE_READ_WRITE).status);
    EXPECT_EQ(nullptr, ref.Get());
    EXPECT_EQ(-1, fs.CreateDirectory(name.c_str()).status);
    EXPECT_EQ(-1, fs.SetAttributes(name.c_str(), 0).status);
    EXPECT_EQ(-1, fs.Delete(name.c_str()).status);
    EXPECT_EQ(-1, fs.Move(name.c_str(), "x").status);
    FindData data;
    EXPECT_EQ(-1, fs.FindFirst((name + "*").c_str(), &data).status);
    EXPECT_EQ(-1, fs.FindFirst((name + "\\*").c_str(), &data).status);
    EXPECT_STREQ("", data.path);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

// A failed host call leaves its kind and the host's words as the reason,
// for the held and the plain mode alike.
TEST_F(NativeFileSystemTest, FailuresLeaveTheHostsReason) {
    FileSystemRef held;
    ASSERT_EQ(0, held.OpenHeldDirectory(dir.Path().c_str()).status);
    for (FileSystemRef* mode : {&fs, &held}) {
        StreamRef ref;
        ClearLastError();
        EXPECT_EQ(-1, mode->OpenFile(ref, "missing.txt", READ_SHARED).status);
        EXPECT_EQ(LastError().code, ErrorCode::NOT_FOUND);
        EXPECT_EQ(LastError().text.rfind("cannot be opened: ", 0), 0u) << LastError().text;
        EXPECT_GT(LastError().text.size(), std::string("cannot be opened: ").size());

        ClearLastError();
        EXPECT_EQ(-1, mode->CreateDirectory("missing/sub").status);
        EXPECT_EQ(LastError().code, ErrorCode::NOT_FOUND) << LastError().text;
    }
    FileSystemRef other;
    ClearLastError();
    EXPECT_EQ(-1, other.OpenDirectory((dir.Path() + "/missing").c_str()).status);
    EXPECT_EQ(LastError().code, ErrorCode::NOT_FOUND);
    std::string tooLong = "/" + std::string(HOST_MAX_PATH, 'x');
    EXPECT_EQ(-1, other.OpenHeldDirectory(tooLong.c_str()).status);
    EXPECT_EQ(LastError().code, ErrorCode::PATH_TOO_LONG);
}

// A found name that does not fit after the pattern's directory part in the
// record is refused instead of written past it.
TEST_F(NativeFileSystemTest, FoundNamesThatDoNotFitAreRefused) {
    // A chain of directories whose relative path leaves less room in a
    // FindData path than the name of the file at its bottom needs, while the
    // host path of a pattern in it still fits.
    std::string component(200, 'd');
    std::string chain;
    size_t target = HOST_MAX_PATH - dir.Path().size() - 8;
    while (chain.size() + component.size() + 1 < target) {
        chain += component + "/";
    }
    chain += std::string(target - chain.size(), 'e');
    std::filesystem::path saved = std::filesystem::current_path();
    std::filesystem::create_directories(dir.Join(chain));
    std::filesystem::current_path(dir.Join(chain));
    std::string longName = "x" + std::string(60, 'y');
    { std::ofstream(longName) << "z"; }
    std::ofstream("s") << "z";
    std::filesystem::current_path(saved);

    FindData data;
    EXPECT_EQ(-1, fs.FindFirst((chain + "/x*").c_str(), &data).status);
    EXPECT_EQ(0, fs.FindFirst((chain + "/s").c_str(), &data).status);
    EXPECT_STREQ((chain + "/s").c_str(), data.path);

    // Take the chain down from inside, where its paths are short.
    std::filesystem::current_path(dir.Join(chain));
    std::filesystem::remove(longName);
    std::filesystem::current_path(saved);
}

// A directory moved away after a file was written in it is not written in
// again: the next file resolves its path afresh (where held directories can
// move at all).
TEST(HeldNativeFileSystemTest, ADirectoryMovedAwayIsNotWrittenInAgain) {
    test::TempDirectory dir;
    dir.MakeDirectory("out/sub");
    FileSystemRef out;
    ASSERT_TRUE(out.OpenHeldDirectory(dir.Join("out").c_str()).Succeeded());
    {
        TemporaryFile first;
        ASSERT_TRUE(first.CreateUnnamedWherePossible(out, "sub\\a.txt").Succeeded());
        ASSERT_TRUE(first.PutInPlace(false).Succeeded());
    }
    std::error_code refused;
    std::filesystem::rename(dir.Join("out/sub"), dir.Join("moved"), refused);
    if (refused) {
        GTEST_SKIP() << "held directories cannot be moved here";
    }
    TemporaryFile second;
    EXPECT_TRUE(second.CreateUnnamedWherePossible(out, "sub\\b.txt").Failed());
    StreamRef stream;
    EXPECT_TRUE(out.OpenFile(stream, "sub\\c.txt", CREATE_READ_WRITE).Failed());
    EXPECT_FALSE(std::filesystem::exists(dir.Join("moved/b.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.Join("moved/c.txt")));
}

// A file written to take an entry's name: its name leads to it only once it
// is complete, it never replaces a file unless told to, and discarded it
// leaves nothing.
TEST(HeldNativeFileSystemTest, TemporaryFilesTakeTheirNameOnlyWhenComplete) {
    test::TempDirectory dir;
    dir.MakeDirectory("out/sub");
    dir.WriteFile("out/sub/taken.txt", "before");
    FileSystemRef out;
    ASSERT_TRUE(out.OpenHeldDirectory(dir.Join("out").c_str()).Succeeded());
    auto names = [&] {
        std::set<std::string> found;
        FindData data;
        for (Result r = out.FindFirst("sub\\*", &data); r.Succeeded(); r = out.FindNext(&data)) {
            found.insert(data.name);
        }
        found.erase(".");
        found.erase("..");
        return found;
    };
    const std::set<std::string> before{"taken.txt"};

    TemporaryFile fresh;
    ASSERT_TRUE(fresh.CreateUnnamedWherePossible(out, "sub\\new.txt").Succeeded());
    ASSERT_EQ(fresh.Stream().Write("new", 3), 3);
    EXPECT_EQ(names().count("new.txt"), 0u);
    ASSERT_TRUE(fresh.PutInPlace(false).Succeeded());
    EXPECT_EQ(dir.ReadFile("out/sub/new.txt"), "new");

    TemporaryFile clash;
    ASSERT_TRUE(clash.CreateUnnamedWherePossible(out, "sub\\taken.txt").Succeeded());
    ASSERT_EQ(clash.Stream().Write("after", 5), 5);
    EXPECT_TRUE(clash.PutInPlace(false).Failed());
    EXPECT_EQ(dir.ReadFile("out/sub/taken.txt"), "before");
    ASSERT_TRUE(clash.PutInPlace(true).Succeeded());
    EXPECT_EQ(dir.ReadFile("out/sub/taken.txt"), "after");

    {
        TemporaryFile dropped;
        ASSERT_TRUE(dropped.CreateUnnamedWherePossible(out, "sub\\gone.txt").Succeeded());
        ASSERT_EQ(dropped.Stream().Write("x", 1), 1);
    }
    EXPECT_EQ(names(), (std::set<std::string>{"new.txt", "taken.txt"}));
}

}  // namespace
}  // namespace vfs

namespace vfs {
namespace {

// Held, the file system works in its own directory and beneath it only,
// whatever the path it was opened by leads to later.
TEST(HeldNativeFileSystemTest, WorksBeneathItsDirectoryOnly) {
    test::TempDirectory dir;
    dir.MakeDirectory("out/sub");
    dir.WriteFile("secret.txt", "outside");
    FileSystemRef out;
    ASSERT_TRUE(out.OpenHeldDirectory(dir.Join("out").c_str()).Succeeded());
    FileSystemRef sub;
    ASSERT_TRUE(sub.OpenHeldDirectory(out, "sub").Succeeded());

    StreamRef stream;
    for (const char* away : {"..\\secret.txt", "sub\\..\\..\\secret.txt", "..\\out\\x.txt"}) {
        EXPECT_TRUE(out.OpenFile(stream, away, OPEN_READ | OPEN_SHARE_READ).Failed()) << away;
        EXPECT_TRUE(out.CreateDirectory(away).Failed()) << away;
        FindData found;
        EXPECT_TRUE(out.FindFirst(away, &found).Failed()) << away;
    }
    ASSERT_TRUE(sub.OpenFile(stream, "new.txt", CREATE_READ_WRITE | OPEN_CREATE_NEW).Succeeded());
    EXPECT_EQ(stream.Write("x", 1), 1);
    stream.Reset();
    ASSERT_TRUE(out.Move("sub\\new.txt", "moved.txt").Succeeded());
    EXPECT_EQ(dir.ReadFile("out/moved.txt"), "x");
    EXPECT_STREQ(sub.GetRootPath(), (dir.Join("out") + "\\sub\\").c_str());
}

}  // namespace
}  // namespace vfs
