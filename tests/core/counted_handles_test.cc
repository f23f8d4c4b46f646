#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vfs/core/file_system.h"
#include "vfs/core/file_system_ref.h"
#include "vfs/core/stream.h"
#include "vfs/core/stream_ref.h"

namespace vfs {
namespace {

// Records Close and destruction, in order, into a shared log.
class LoggedStream : public Stream {
  public:
    LoggedStream(std::string streamName, std::vector<std::string>* events)
        : name(std::move(streamName)), log(events) {}
    ~LoggedStream() override { log->push_back("delete " + name); }

    int32_t Read(void*, int32_t count) override { return count; }
    int32_t Write(const void*, int32_t count) override { return count; }
    int32_t Seek(int32_t offset, int32_t) override { return offset; }
    int32_t GetSize() override { return 7; }
    int32_t Tell() override { return 3; }
    void Close() override { log->push_back("close " + name); }

    std::string name;
    std::vector<std::string>* log;
};

class LoggedFileSystem : public FileSystem {
  public:
    LoggedFileSystem(std::string fsName, std::vector<std::string>* events)
        : name(std::move(fsName)), log(events) {
        rootPath.Assign(("root-" + name + "\\").c_str());
    }
    ~LoggedFileSystem() override { log->push_back("delete " + name); }

    Result OpenFile(StreamRef& out, const char* path, uint32_t, uint32_t) override {
        if (out.Get() != nullptr) {
            return Result::Fail();
        }
        out.Set(new LoggedStream(path, log));
        return Result::Ok();
    }
    Result FindFirst(const char*, FindData*) override { return Result(5); }
    Result FindNext(FindData*) override { return Result(6); }
    Result SetAttributes(const char*, uint32_t attributes) override {
        return Result(static_cast<int32_t>(attributes));
    }
    Result CreateDirectory(const char*) override { return Result(8); }
    Result Delete(const char*) override { return Result(9); }
    Result Move(const char*, const char*) override { return Result(10); }
    void Close() override { log->push_back("close " + name); }

    std::string name;
    std::vector<std::string>* log;
};

TEST(StreamRef, SettingAStreamStacksTheHeldOneBeneathAndReleasesTopFirst) {
    std::vector<std::string> log;
    auto* bottom = new LoggedStream("bottom", &log);
    auto* top = new LoggedStream("top", &log);
    {
        StreamRef ref;
        ref.Set(bottom);
        EXPECT_EQ(bottom->GetRefCount(), 1);
        ref.Set(top);
        EXPECT_EQ(ref.Get(), top);
        EXPECT_EQ(top->inner, bottom);
        EXPECT_EQ(top->GetRefCount(), 1);
        EXPECT_EQ(bottom->GetRefCount(), 1) << "the handle's reference is handed to the new top";
    }
    EXPECT_EQ(log, (std::vector<std::string>{"close top", "close bottom", "delete bottom",
                                             "delete top"}));
}

TEST(StreamRef, AttachInsertsANewStreamDirectlyBeneath) {
    std::vector<std::string> log;
    StreamRef ref;
    auto* a = new LoggedStream("a", &log);
    auto* b = new LoggedStream("b", &log);
    auto* c = new LoggedStream("c", &log);
    ref.Set(a);
    ref.Set(b);  // b over a
    ref.Set(c);  // c over b over a
    EXPECT_EQ(c->inner, b);
    EXPECT_EQ(b->inner, a);
    EXPECT_EQ(a->inner, nullptr);
    ref.Reset();
    EXPECT_EQ(log.front(), "close c");
    EXPECT_EQ(ref.Get(), nullptr);
}

TEST(StreamRef, LowerStreamOutlivesTheStackWhileAnotherHolderKeepsIt) {
    std::vector<std::string> log;
    auto* shared = new LoggedStream("shared", &log);
    StreamRef keeper;
    keeper.Set(shared);
    {
        StreamRef reader;
        reader.Set(shared);
        EXPECT_EQ(shared->GetRefCount(), 2);
        reader.Set(new LoggedStream("adapter", &log));
    }
    EXPECT_EQ(log, (std::vector<std::string>{"close adapter", "delete adapter"}));
    EXPECT_EQ(shared->GetRefCount(), 1);
}

TEST(StreamRef, SetNullKeepsWhatTheHandleHeld) {
    std::vector<std::string> log;
    StreamRef ref;
    auto* s = new LoggedStream("s", &log);
    ref.Set(s);
    ref.Set(nullptr);
    EXPECT_EQ(ref.Get(), s);
    EXPECT_EQ(s->GetRefCount(), 1);
}

TEST(StreamRef, ForwardersOnAnEmptyHandleFailQuietly) {
    StreamRef ref;
    char buffer[4];
    EXPECT_EQ(ref.Read(buffer, 4), -1);
    EXPECT_EQ(ref.Write(buffer, 4), -1);
    EXPECT_EQ(ref.Seek(0, 0), -1);
    EXPECT_EQ(ref.GetSize(), -1);
    EXPECT_EQ(ref.Tell(), -1);
    EXPECT_EQ(ref.Map(), nullptr);
    EXPECT_EQ(ref.Flush(), Result::Fail());
    ref.Reset();
    EXPECT_EQ(ref.Get(), nullptr);
}

TEST(StreamRef, ForwardersPassThrough) {
    std::vector<std::string> log;
    StreamRef ref;
    ref.Set(new LoggedStream("s", &log));
    char buffer[4];
    EXPECT_EQ(ref.Read(buffer, 4), 4);
    EXPECT_EQ(ref.Write(buffer, 2), 2);
    EXPECT_EQ(ref.Seek(11, 0), 11);
    EXPECT_EQ(ref.GetSize(), 7);
    EXPECT_EQ(ref.Tell(), 3);
    EXPECT_EQ(ref.Map(), nullptr) << "a stream with nothing beneath maps nothing";
    EXPECT_EQ(ref.Flush(), Result::Fail()) << "flush is not supported by default";
    EXPECT_EQ(ref.Get()->GetLock(), nullptr);
}

TEST(FileSystemRef, AssignmentSharesAndSelfAssignmentChangesNothing) {
    std::vector<std::string> log;
    auto* fs = new LoggedFileSystem("fs", &log);
    FileSystemRef a;
    a.Set(fs);
    FileSystemRef& same = a;  // through a reference, as code that means it would
    a = same;
    EXPECT_EQ(fs->GetRefCount(), 1);
    {
        FileSystemRef b;
        b = a;
        EXPECT_EQ(b.Get(), fs);
        EXPECT_EQ(fs->GetRefCount(), 2);
        b.Reset();
        EXPECT_EQ(fs->GetRefCount(), 1);
        EXPECT_TRUE(log.empty()) << "resetting one handle leaves the object alive for the other";
        b = a;
        FileSystemRef empty;
        b = empty;
        EXPECT_EQ(b.Get(), nullptr);
    }
    EXPECT_EQ(fs->GetRefCount(), 1);
    a.Reset();
    EXPECT_EQ(log, (std::vector<std::string>{"close fs", "delete fs"}));
}

TEST(FileSystemRef, SettingAFileSystemStacksTheHeldOneAsParent) {
    std::vector<std::string> log;
    FileSystemRef ref;
    auto* lower = new LoggedFileSystem("lower", &log);
    auto* upper = new LoggedFileSystem("upper", &log);
    ref.Set(lower);
    ref.Set(upper);
    EXPECT_EQ(upper->parent, lower);
    ref.Reset();
    EXPECT_EQ(log, (std::vector<std::string>{"close upper", "close lower", "delete lower",
                                             "delete upper"}));
}

TEST(FileSystemRef, ForwardersOnAnEmptyHandleFailQuietly) {
    FileSystemRef ref;
    FindData found;
    StreamRef out;
    VfsString full;
    char buffer[8] = "keep";
    EXPECT_EQ(ref.FindFirst("*.*", &found), Result::Fail());
    EXPECT_EQ(ref.FindNext(&found), Result::Fail());
    EXPECT_EQ(ref.OpenFile(out, "a", 0, 0), Result::Fail());
    EXPECT_EQ(ref.GetFullPath(full, VfsString("a")), Result::Fail());
    EXPECT_EQ(ref.GetFullPathBuffer(buffer, "a", sizeof(buffer)), Result::Fail());
    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(ref.GetRootPath(), nullptr);
    EXPECT_EQ(ref.SetAttributes("a", 1), Result::Fail());
    EXPECT_EQ(ref.CreateDirectory("a"), Result::Fail());
    EXPECT_EQ(ref.Delete("a"), Result::Fail());
    EXPECT_EQ(ref.Move("a", "b"), Result::Fail());
}

TEST(FileSystemRef, ForwardersReachTheirOwnSlots) {
    std::vector<std::string> log;
    FileSystemRef ref;
    ref.Set(new LoggedFileSystem("fs", &log));
    FindData found;
    EXPECT_EQ(ref.FindFirst("*", &found).status, 5);
    EXPECT_EQ(ref.FindNext(&found).status, 6);
    EXPECT_EQ(ref.SetAttributes("a", 7).status, 7);
    EXPECT_EQ(ref.CreateDirectory("a").status, 8);
    EXPECT_EQ(ref.Delete("a").status, 9);
    EXPECT_EQ(ref.Move("a", "b").status, 10);
    EXPECT_STREQ(ref.GetRootPath(), "root-fs\\");

    StreamRef out;
    EXPECT_EQ(ref.OpenFile(out, "first", 0, 0), Result::Ok());
    Stream* held = out.Get();
    EXPECT_EQ(ref.OpenFile(out, "second", 0, 0), Result::Fail())
        << "opening into a handle that holds a stream fails";
    EXPECT_EQ(out.Get(), held);
}

TEST(FileSystem, FullPathsAreThePlainConcatenation) {
    std::vector<std::string> log;
    FileSystemRef ref;
    ref.Set(new LoggedFileSystem("fs", &log));  // root "root-fs\"
    VfsString out;
    EXPECT_EQ(ref.GetFullPath(out, VfsString("a/b")), Result::Ok());
    EXPECT_TRUE(out == "root-fs\\a/b");
    ref.GetFullPath(out, VfsString("\\x"));
    EXPECT_TRUE(out == "root-fs\\\\x") << "nothing is normalised";
    VfsString same("y");
    ref.GetFullPath(same, same);
    EXPECT_TRUE(same == "root-fs\\y");

    // "root-fs\" is 8 characters; "ab" makes 10.
    char exact[11];
    EXPECT_EQ(ref.GetFullPathBuffer(exact, "ab", sizeof(exact)), Result::Ok());
    EXPECT_STREQ(exact, "root-fs\\ab");
    char shortBy1[10];
    EXPECT_EQ(ref.GetFullPathBuffer(shortBy1, "ab", sizeof(shortBy1)), Result::Fail());
    EXPECT_STREQ(shortBy1, "root-fs\\a") << "the cut text is left, terminated";
    char tiny[4];
    EXPECT_EQ(ref.GetFullPathBuffer(tiny, "", sizeof(tiny)), Result::Fail())
        << "a cut root path is a failure even when nothing follows it";
}

}  // namespace
}  // namespace vfs
