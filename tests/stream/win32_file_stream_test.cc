#include "vfs/stream/win32_file_stream.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/temp_directory.h"
#include "vfs/core/open_flags.h"
#include "vfs/core/semaphore.h"
#include "vfs/core/stream_ref.h"
#include "vfs/host/host_file_mapping.h"
#include "vfs/host/host_limits.h"
#include "vfs/stream/locked_stream.h"
#include "vfs/stream/range_stream.h"

namespace vfs {
namespace {

using test::TempDirectory;

constexpr uint32_t READ_SHARED = OPEN_READ | OPEN_SHARE_READ;                 // 0x80000001
constexpr uint32_t CREATE_READ_WRITE = OPEN_READ | OPEN_WRITE | OPEN_CREATE;  // 0xC0000010

class Win32FileStreamTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.Valid()); }
    std::string P(const std::string& name) const { return dir.Join(name); }

    // A stream held by `ref`, opened on `name` with `flags`; null on failure.
    Win32FileStream* OpenInto(StreamRef& ref, const std::string& name, uint32_t flags) {
        auto* stream = new Win32FileStream();
        if (stream->Open(P(name).c_str(), flags).Failed()) {
            stream->Release();
            return nullptr;
        }
        ref.Set(stream);
        return stream;
    }

    TempDirectory dir;
};

TEST_F(Win32FileStreamTest, OpenFlagsChooseTheCreationDisposition) {
    StreamRef ref;
    EXPECT_EQ(nullptr, OpenInto(ref, "missing", READ_SHARED));
    EXPECT_FALSE(dir.Exists("missing"));

    ASSERT_NE(nullptr, OpenInto(ref, "created", CREATE_READ_WRITE));
    EXPECT_EQ(0, ref.GetSize());
    EXPECT_EQ(3, ref.Write("abc", 3));
    ref.Reset();
    EXPECT_EQ("abc", dir.ReadFile("created"));

    // Keep: an existing file is opened unchanged, a missing one made.
    ASSERT_NE(nullptr, OpenInto(ref, "created", CREATE_READ_WRITE | OPEN_CREATE_KEEP));
    EXPECT_EQ(3, ref.GetSize());
    ref.Reset();
    ASSERT_NE(nullptr, OpenInto(ref, "kept", CREATE_READ_WRITE | OPEN_CREATE_KEEP));
    ref.Reset();
    EXPECT_TRUE(dir.Exists("kept"));

    // New: only a missing file; keep wins over new.
    EXPECT_EQ(nullptr, OpenInto(ref, "created", CREATE_READ_WRITE | OPEN_CREATE_NEW));
    EXPECT_EQ("abc", dir.ReadFile("created"));
    ASSERT_NE(nullptr, OpenInto(ref, "new", CREATE_READ_WRITE | OPEN_CREATE_NEW));
    ref.Reset();
    ASSERT_NE(nullptr,
              OpenInto(ref, "created", CREATE_READ_WRITE | OPEN_CREATE_KEEP | OPEN_CREATE_NEW));
    EXPECT_EQ(3, ref.GetSize());
    ref.Reset();

    // Plain create replaces an existing file by an empty one.
    ASSERT_NE(nullptr, OpenInto(ref, "created", CREATE_READ_WRITE));
    EXPECT_EQ(0, ref.GetSize());
}

TEST_F(Win32FileStreamTest, SharingFollowsTheShareBits) {
    dir.WriteFile("f", "data");
    StreamRef first;
    StreamRef second;
    ASSERT_NE(nullptr, OpenInto(first, "f", READ_SHARED));
    EXPECT_NE(nullptr, OpenInto(second, "f", READ_SHARED));
    second.Reset();
    EXPECT_EQ(nullptr, OpenInto(second, "f", CREATE_READ_WRITE));
    EXPECT_EQ("data", dir.ReadFile("f"));
}

TEST_F(Win32FileStreamTest, ReadWriteSeekAndTell) {
    StreamRef ref;
    ASSERT_NE(nullptr, OpenInto(ref, "f", CREATE_READ_WRITE));
    EXPECT_EQ(0, ref.Write("ignored", 0));
    EXPECT_EQ(0, ref.Write("ignored", -3));
    EXPECT_EQ(10, ref.Write("0123456789", 10));
    EXPECT_EQ(10, ref.Tell());

    char buffer[16] = {};
    EXPECT_EQ(0, ref.Read(buffer, 4));  // at the end
    EXPECT_EQ(3, ref.Seek(3, SEEK_FROM_START));
    EXPECT_EQ(5, ref.Seek(2, SEEK_FROM_CURRENT));
    EXPECT_EQ(4, ref.Read(buffer, 4));
    EXPECT_EQ("5678", std::string(buffer, 4));
    EXPECT_EQ(9, ref.Tell());
    EXPECT_EQ(1, ref.Read(buffer, 16));  // only what is left
    EXPECT_EQ(10, ref.Tell());
    EXPECT_EQ(8, ref.Seek(-2, SEEK_FROM_END));
    EXPECT_EQ(0, ref.Read(buffer, 0));
    EXPECT_EQ(0, ref.Read(buffer, -1));
    EXPECT_EQ(8, ref.Tell());

    // A failed seek reports -1 and the position stays true to the file.
    EXPECT_EQ(-1, ref.Seek(-1, SEEK_FROM_START));
    EXPECT_EQ(-1, ref.Seek(0, 3));
    EXPECT_EQ(-1, ref.Seek(INT32_MAX, SEEK_FROM_END));
    EXPECT_EQ(8, ref.Tell());
    EXPECT_EQ(2, ref.Read(buffer, 2));
    EXPECT_EQ("89", std::string(buffer, 2));
    EXPECT_EQ(10, ref.GetSize());
    EXPECT_EQ(10, ref.Tell());  // GetSize does not move
    EXPECT_EQ(0, ref.Flush().status);
}

// An archive reaches 4 GiB - 1: beyond 2 GiB the 64-bit slots place and read,
// and the 32-bit ones answer -1 without moving. An entry's reader (its own
// position over the shared file, then a window) reads there too, by
// positioned reads or under the lock, whichever the host has.
TEST_F(Win32FileStreamTest, PositionsBeyond2GiB) {
    const int64_t size = int64_t{3} << 30;
    const int64_t far = size / 6 * 5;
    StreamRef ref;
    Win32FileStream* stream = OpenInto(ref, "big", CREATE_READ_WRITE);
    ASSERT_NE(nullptr, stream);
    ASSERT_EQ(far, ref.Seek64(far, SEEK_FROM_START));
    ASSERT_EQ(3, ref.Write("far", 3));
    ASSERT_EQ(size - 1, ref.Seek64(size - 1, SEEK_FROM_START));
    ASSERT_EQ(1, ref.Write("", 1));
    EXPECT_EQ(size, ref.GetSize64());
    EXPECT_EQ(-1, ref.GetSize());
    EXPECT_EQ(-1, ref.Tell());
    EXPECT_EQ(size, ref.Tell64());
    EXPECT_EQ(-1, ref.Seek(-1, SEEK_FROM_CURRENT));
    EXPECT_EQ(size, ref.Tell64()) << "a refused 32-bit seek does not move";
    EXPECT_EQ(7, ref.Seek(7, SEEK_FROM_START));

    StreamRef entry;
    entry.Set(stream);
    entry.Set(new LockedStream());
    ASSERT_EQ(far - 2, entry.Seek64(far - 2, SEEK_FROM_START));
    auto* window = new RangeStream();
    ASSERT_EQ(0, window->Init(5, far - 2).status);
    entry.Set(window);
    char buffer[8] = {};
    EXPECT_EQ(5, entry.Read(buffer, 8));
    EXPECT_EQ(std::string("\0\0far", 5), std::string(buffer, 5));
    EXPECT_EQ(2, entry.Seek(-3, SEEK_FROM_END));
    EXPECT_EQ(2, entry.Read(buffer, 2));
    EXPECT_EQ("fa", std::string(buffer, 2));
}

TEST_F(Win32FileStreamTest, ReadOnlyAndWriteOnlyStreams) {
    dir.WriteFile("f", "data");
    StreamRef ref;
    ASSERT_NE(nullptr, OpenInto(ref, "f", READ_SHARED));
    EXPECT_EQ(0, ref.Write("xx", 2));
    ref.Reset();
    ASSERT_NE(nullptr, OpenInto(ref, "f", OPEN_WRITE));
    char buffer[4];
    EXPECT_EQ(0, ref.Read(buffer, 4));
    EXPECT_EQ(0, ref.Tell());
}

TEST_F(Win32FileStreamTest, ClosedStreamsFailQuietly) {
    dir.WriteFile("f", "data");
    StreamRef ref;
    Win32FileStream* stream = OpenInto(ref, "f", READ_SHARED);
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(2, stream->Seek(2, SEEK_FROM_START));
    stream->Close();
    char buffer[4];
    EXPECT_EQ(0, stream->Read(buffer, 4));
    EXPECT_EQ(-1, stream->Seek(0, SEEK_FROM_START));
    EXPECT_EQ(-1, stream->GetSize());
    EXPECT_EQ(2, stream->Tell());  // Close leaves the position
    EXPECT_EQ(nullptr, stream->Map(0, 0));
    EXPECT_EQ(-1, stream->Flush().status);
    // Open again on the same object: a fresh position.
    EXPECT_EQ(0, stream->Open(P("f").c_str(), READ_SHARED).status);
    EXPECT_EQ(0, stream->Tell());
    EXPECT_EQ(4, stream->Read(buffer, 4));
}

TEST_F(Win32FileStreamTest, AbsurdlyLongPathsAreRefused) {
    std::string name(HOST_MAX_PATH, 'n');
    auto* stream = new Win32FileStream();
    EXPECT_EQ(-1, stream->Open(P(name).c_str(), CREATE_READ_WRITE).status);
    std::string justTooLong =
        dir.Path() + "/" + std::string(HOST_MAX_PATH - dir.Path().size() - 1, 'n');
    EXPECT_EQ(-1, stream->Open(justTooLong.c_str(), CREATE_READ_WRITE).status);
    stream->Release();
}

TEST_F(Win32FileStreamTest, MappingTheWholeFileAndStretches) {
    int32_t granularity = static_cast<int32_t>(host::GetAllocationGranularity());
    std::string contents = test::PatternedBytes(static_cast<size_t>(3 * granularity + 777));
    dir.WriteFile("f", contents);
    dir.WriteFile("empty", "");
    StreamRef ref;
    Win32FileStream* stream = OpenInto(ref, "f", READ_SHARED);
    ASSERT_NE(nullptr, stream);

    const void* whole = stream->Map(0, 0);
    ASSERT_NE(nullptr, whole);
    EXPECT_EQ(whole, stream->Map(0, 0));
    EXPECT_EQ(whole, ref.Map());
    EXPECT_EQ(0, std::memcmp(whole, contents.data(), contents.size()));

    // Near the start (up to and at the granularity) and further in.
    for (int32_t offset : {1, 100, granularity, granularity + 1, 2 * granularity + 5}) {
        const auto* stretch = static_cast<const char*>(stream->Map(offset, 500));
        ASSERT_NE(nullptr, stretch) << offset;
        EXPECT_EQ(0, std::memcmp(stretch, contents.data() + offset, 500)) << offset;
        stream->Unmap(stretch);
    }

    // Giving back the whole view leaves it in place until Close.
    stream->Unmap(whole);
    EXPECT_EQ(whole, stream->Map(0, 0));
    EXPECT_EQ(contents[10], static_cast<const char*>(whole)[10]);

    // Stretches outside the file have no pointer.
    int32_t size = static_cast<int32_t>(contents.size());
    EXPECT_EQ(nullptr, stream->Map(-1, 10));
    EXPECT_EQ(nullptr, stream->Map(10, -1));
    EXPECT_EQ(nullptr, stream->Map(size - 10, 11));
    EXPECT_EQ(nullptr, stream->Map(size + granularity, 1));
    const auto* last = static_cast<const char*>(stream->Map(size - 10, 10));
    ASSERT_NE(nullptr, last);
    EXPECT_EQ(contents.back(), last[9]);
    stream->Unmap(last);

    StreamRef emptyRef;
    ASSERT_NE(nullptr, OpenInto(emptyRef, "empty", READ_SHARED));
    EXPECT_EQ(nullptr, emptyRef.Map());
}

TEST_F(Win32FileStreamTest, BackEndsAreTheBottomOfTheirStacks) {
    dir.WriteFile("f", "data");
    StreamRef first;
    StreamRef second;
    Win32FileStream* a = OpenInto(first, "f", READ_SHARED);
    Win32FileStream* b = OpenInto(second, "f", READ_SHARED);
    ASSERT_NE(nullptr, a);
    ASSERT_NE(nullptr, b);
    EXPECT_NE(nullptr, a->GetLock());
    EXPECT_EQ(a->GetLock(), a->GetLock());
    EXPECT_NE(a->GetLock(), b->GetLock());

    // Setting a back-end into a handle that holds a stream: the old stream
    // cannot go beneath it and is let go of, not leaked.
    auto* c = new Win32FileStream();
    ASSERT_EQ(0, c->Open(P("f").c_str(), READ_SHARED).status);
    b->AddRef();
    second.Set(c);
    EXPECT_EQ(c, second.Get());
    EXPECT_EQ(nullptr, c->inner);
    EXPECT_EQ(1, b->GetRefCount());
    b->Release();
}

// Several readers share one stream, each seeking to its own place and
// reading under the stream's lock, as the archive's entry streams do.
TEST_F(Win32FileStreamTest, SeekThenReadUnderTheLockFromManyThreads) {
    std::string contents = test::PatternedBytes(1 << 20);
    dir.WriteFile("f", contents);
    StreamRef ref;
    Win32FileStream* stream = OpenInto(ref, "f", READ_SHARED);
    ASSERT_NE(nullptr, stream);

    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            char buffer[777];
            int32_t position = t * 1000;
            for (int i = 0; i < 300; ++i) {
                int32_t n;
                {
                    SemaphoreLock guard(stream->GetLock());
                    guard.Lock(true);
                    if (stream->Tell() != position) {
                        stream->Seek(position, SEEK_FROM_START);
                    }
                    n = stream->Read(buffer, sizeof(buffer));
                }
                if (n != static_cast<int32_t>(sizeof(buffer)) ||
                    std::memcmp(buffer, contents.data() + position, sizeof(buffer)) != 0) {
                    ++mismatches[static_cast<size_t>(t)];
                }
                position = (position + 3001 * (t + 1)) % (1 << 19);
            }
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(std::vector<int>(4, 0), mismatches);
}

// Positioned reads (where the host has them) take no lock and leave the
// stream's own position alone, while other threads read at theirs.
TEST_F(Win32FileStreamTest, PositionedReadsFromManyThreadsLeaveThePosition) {
    std::string contents = test::PatternedBytes(1 << 20);
    dir.WriteFile("f", contents);
    StreamRef ref;
    Win32FileStream* stream = OpenInto(ref, "f", READ_SHARED);
    ASSERT_NE(nullptr, stream);
    char probe[4];
    if (stream->ReadAt(0, probe, 4) == Stream::kNoPositionedReads) {
        GTEST_SKIP() << "this host reads under the lock only";
    }
    ASSERT_EQ(100, stream->Seek(100, SEEK_FROM_START));

    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            char buffer[777];
            int32_t position = t * 1000;
            for (int i = 0; i < 300; ++i) {
                int32_t n = stream->ReadAt(position, buffer, sizeof(buffer));
                if (n != static_cast<int32_t>(sizeof(buffer)) ||
                    std::memcmp(buffer, contents.data() + position, sizeof(buffer)) != 0) {
                    ++mismatches[static_cast<size_t>(t)];
                }
                position = (position + 3001 * (t + 1)) % (1 << 19);
            }
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(std::vector<int>(4, 0), mismatches);
    EXPECT_EQ(100, stream->Tell());
    char buffer[4];
    ASSERT_EQ(4, stream->Read(buffer, 4));
    EXPECT_EQ(contents.substr(100, 4), std::string(buffer, 4)) << "the position still reads";
    // The end, past it, and what a position cannot be.
    EXPECT_EQ(3, stream->ReadAt((1 << 20) - 3, buffer, 4));
    EXPECT_EQ(0, stream->ReadAt(1 << 20, buffer, 4));
    EXPECT_EQ(-1, stream->ReadAt(-1, buffer, 4));
    EXPECT_EQ(0, stream->ReadAt(0, buffer, 0));
}

// Map and Unmap pass by the stream's lock: stretches mapped and given back
// from several threads at once must all come out right.
TEST_F(Win32FileStreamTest, MapAndUnmapFromManyThreads) {
    std::string contents = test::PatternedBytes(1 << 20);
    dir.WriteFile("f", contents);
    StreamRef ref;
    Win32FileStream* stream = OpenInto(ref, "f", READ_SHARED);
    ASSERT_NE(nullptr, stream);

    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> mappers;
    for (int t = 0; t < 4; ++t) {
        mappers.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                int32_t offset = (i * 7919 + t * 104729) % ((1 << 20) - 100);
                const void* whole = stream->Map(0, 0);
                const auto* stretch = static_cast<const char*>(stream->Map(offset, 100));
                if (whole == nullptr || stretch == nullptr ||
                    std::memcmp(stretch, contents.data() + offset, 100) != 0) {
                    ++mismatches[static_cast<size_t>(t)];
                }
                stream->Unmap(stretch);
            }
        });
    }
    for (std::thread& mapper : mappers) {
        mapper.join();
    }
    EXPECT_EQ(std::vector<int>(4, 0), mismatches);
}

}  // namespace
}  // namespace vfs
