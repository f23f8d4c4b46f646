#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/stream/test_host_stream.h"
#include "vfs/core/last_error.h"
#include "vfs/core/stream_ref.h"
#include "vfs/stream/locked_stream.h"
#include "vfs/stream/range_stream.h"

namespace vfs {
namespace {

using test::TestHostStream;

// A window of `size` bytes from `start` of the host's text, stacked the way
// an archive entry is: host, private LockedStream, then the range after the
// stack was positioned at the window's start.
class RangeStreamTest : public ::testing::Test {
  protected:
    void Open(int32_t size, int32_t start) {
        ref.Set(host);
        ref.Set(new LockedStream);
        ref.Seek(start, 0);
        range = new RangeStream;
        ASSERT_EQ(range->Init(size, start).status, 0);
        ref.Set(range);
    }
    std::string Read(int32_t count) {
        std::string text(static_cast<size_t>(count), '\0');
        int32_t got = ref.Read(text.data(), count);
        text.resize(got < 0 ? 0 : static_cast<size_t>(got));
        return text;
    }

    TestHostStream* host = new TestHostStream(std::string("ABCDEFGHIJ0123456789KLMNOPQRST"));
    RangeStream* range = nullptr;
    StreamRef ref;
};

TEST_F(RangeStreamTest, ReadsStopAtTheWindowsEnd) {
    Open(10, 10);
    EXPECT_EQ(ref.GetSize(), 10);
    EXPECT_EQ(Read(4), "0123");
    EXPECT_EQ(Read(100), "456789");
    EXPECT_EQ(Read(100), "");
    EXPECT_EQ(ref.Tell(), 10);
    EXPECT_EQ(ref.Write("x", 1), 0);
    EXPECT_EQ(host->data[10], '0');
    EXPECT_EQ(ref.Flush().status, -1);
}

TEST_F(RangeStreamTest, AShortReadBeneathLeavesWhy) {
    // The window reaches past what the host holds: the file was cut short
    // after the entry was opened.
    Open(10, 25);
    ClearLastError();
    EXPECT_EQ(Read(10), "PQRST");
    EXPECT_EQ(LastError().code, ErrorCode::HOST_ERROR);
    EXPECT_EQ(LastError().text, "cannot be read: the archive file ends before its data does");
}

TEST_F(RangeStreamTest, ANegativeCountReadsNothing) {
    Open(10, 10);
    char byte = 0;
    EXPECT_EQ(ref.Read(&byte, -1), 0);
    EXPECT_EQ(ref.Read(&byte, std::numeric_limits<int32_t>::min()), 0);
    EXPECT_EQ(ref.Tell(), 0);
}

TEST_F(RangeStreamTest, SeekTableFromTheMiddleOfTheWindow) {
    Open(10, 10);
    struct Case {
        int32_t offset;
        int32_t origin;
        int32_t expected;
    };
    const Case cases[] = {
        {-5, 1, -1},
        {7, 1, -1},
        {-4, 1, 0},
        {6, 1, 10},
        {0, 1, 4},
        {-10, 2, 0},
        {0, 2, 10},
        {-3, 2, 7},
        {1, 2, -1},
        {-11, 2, -1},
        {0, 0, 0},
        {10, 0, 10},
        {11, 0, -1},
        {-1, 0, -1},
        {4, 3, -1},
        {4, -1, -1},
        {std::numeric_limits<int32_t>::min(), 2, -1},
        {std::numeric_limits<int32_t>::max(), 1, -1},
        {std::numeric_limits<int32_t>::min(), 1, -1},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ref.Seek(4, 0), 4);
        EXPECT_EQ(ref.Seek(c.offset, c.origin), c.expected)
            << "Seek(" << c.offset << ", " << c.origin << ")";
        int32_t now = c.expected < 0 ? 4 : c.expected;
        EXPECT_EQ(ref.Tell(), now);
        // The stream below stands where the window says.
        EXPECT_EQ(Read(1), now < 10 ? std::string(1, static_cast<char>('0' + now)) : "");
    }
}

TEST_F(RangeStreamTest, FailuresBelowChangeNothing) {
    Open(10, 10);
    ASSERT_EQ(ref.Seek(3, 0), 3);
    host->failSeeks = true;
    EXPECT_EQ(ref.Seek(5, 0), -1);
    EXPECT_EQ(ref.Seek(1, 1), -1);
    EXPECT_EQ(ref.Tell(), 3);
    host->failSeeks = false;
    host->failReads = true;
    EXPECT_EQ(Read(2), "");
    EXPECT_EQ(ref.Tell(), 3);
    host->failReads = false;
    EXPECT_EQ(Read(2), "34");
}

TEST_F(RangeStreamTest, AWindowBeyondTheFileReadsShort) {
    Open(10, 25);
    EXPECT_EQ(Read(10), "PQRST");
    EXPECT_EQ(Read(10), "");
    EXPECT_EQ(ref.Tell(), 5);
}

TEST(RangeStream, RefusesWindowsThatDoNotFitIn64Bits) {
    const int64_t max = std::numeric_limits<int64_t>::max();
    struct Case {
        int64_t size;
        int64_t start;
    };
    for (const Case& c : {Case{-1, 0}, Case{5, -1}, Case{max, 1}, Case{2, max - 1},
                          Case{std::numeric_limits<int32_t>::min(), 10}}) {
        RangeStream range;
        EXPECT_EQ(range.Init(c.size, c.start).status, -1) << c.size << " at " << c.start;
        EXPECT_EQ(range.GetSize64(), 0);
    }
    // Beyond 2 GiB the 32-bit slot has no answer; the 64-bit one has.
    RangeStream beyond;
    EXPECT_EQ(beyond.Init(int64_t{3} << 30, int64_t{3} << 30).status, 0);
    EXPECT_EQ(beyond.GetSize(), -1);
    EXPECT_EQ(beyond.GetSize64(), int64_t{3} << 30);
}

TEST(RangeStream, ARefusedWindowReadsNothingFromBelow) {
    auto* host = new TestHostStream(std::string("0123456789"));
    StreamRef ref;
    ref.Set(host);
    auto* range = new RangeStream;
    EXPECT_EQ(range->Init(-4, 2).status, -1);
    ref.Set(range);
    char bytes[16] = {};
    EXPECT_EQ(ref.Read(bytes, 16), 0);
    EXPECT_EQ(host->position, 0);
}

TEST_F(RangeStreamTest, MapsTheWindowOnceAndGivesItBackOnRelease) {
    Open(10, 10);
    const void* whole = ref.Map();
    EXPECT_EQ(whole, host->data.data() + 10);
    EXPECT_EQ(range->Map(4, 6), host->data.data() + 14);
    EXPECT_EQ(range->Map(4, 7), nullptr);
    EXPECT_EQ(range->Map(-1, 0), nullptr);
    EXPECT_EQ(host->mapCount, 1);
    // A caller's Unmap of the window is not passed on: the window is given
    // back exactly once, when the stack is released.
    range->Unmap(whole);
    EXPECT_TRUE(host->unmapped.empty());
    StreamRef keep;
    keep.Set(host);
    ref.Reset();
    ASSERT_EQ(host->unmapped.size(), 1u);
    EXPECT_EQ(host->unmapped[0], whole);
    EXPECT_EQ(host->unlockedCalls, 0);
}

TEST_F(RangeStreamTest, AnEmptyWindowMapsNothing) {
    Open(0, 0);
    EXPECT_EQ(ref.Map(), nullptr);
    EXPECT_EQ(host->mapCount, 0);
    EXPECT_EQ(Read(4), "");
    EXPECT_EQ(ref.Seek(0, 2), 0);
}

TEST(RangeStream, StackReleasesFromTheTop) {
    std::vector<std::string> log;
    struct LoggedRange : RangeStream {
        std::vector<std::string>* log;
        ~LoggedRange() override { log->push_back("delete range"); }
        void Close() override {
            log->push_back("close range");
            RangeStream::Close();
        }
    };
    struct LoggedLocked : LockedStream {
        std::vector<std::string>* log;
        ~LoggedLocked() override { log->push_back("delete locked"); }
        void Close() override {
            log->push_back("close locked");
            LockedStream::Close();
        }
    };
    bool hostDeleted = false;
    auto* host = new TestHostStream(std::string("0123456789"));
    host->deleted = &hostDeleted;
    auto* locked = new LoggedLocked;
    locked->log = &log;
    auto* range = new LoggedRange;
    range->log = &log;
    range->Init(4, 0);
    {
        StreamRef ref;
        ref.Set(host);
        ref.Set(locked);
        ref.Set(range);
        EXPECT_EQ(range->inner, locked);
        EXPECT_EQ(locked->inner, host);
        EXPECT_EQ(range->GetLock(), &host->lock);
        EXPECT_EQ(ref.GetSize(), 4);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"close range", "close locked", "delete locked",
                                             "delete range"}));
    EXPECT_TRUE(hostDeleted);
}

}  // namespace
}  // namespace vfs
