#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/stream/test_host_stream.h"
#include "vfs/core/stream_ref.h"
#include "vfs/stream/locked_stream.h"

namespace vfs {
namespace {

using test::CountingBytes;
using test::TestHostStream;

// A reader of its own over the shared host stream, as an archive's entry
// gets one.
void OpenReader(StreamRef& reader, TestHostStream* host) {
    reader.Set(host);
    reader.Set(new LockedStream);
}

std::string ReadText(StreamRef& reader, int32_t count) {
    std::string text(static_cast<size_t>(count), '\0');
    int32_t got = reader.Read(text.data(), count);
    text.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return text;
}

TEST(LockedStream, TwoReadersTakingTurnsEachReadTheirOwnBytes) {
    auto* host = new TestHostStream(std::string("abcdefghijklmnopqrstuvwxyz0123456789"));
    StreamRef first;
    StreamRef second;
    OpenReader(first, host);
    OpenReader(second, host);
    EXPECT_EQ(host->GetRefCount(), 2);

    EXPECT_EQ(first.Seek(2, 0), 2);
    EXPECT_EQ(second.Seek(26, 0), 26);
    std::string a;
    std::string b;
    for (int i = 0; i < 4; ++i) {
        a += ReadText(first, 3);
        b += ReadText(second, 2);
    }
    EXPECT_EQ(a, "cdefghijklmn");
    EXPECT_EQ(b, "01234567");
    EXPECT_EQ(first.Tell(), 14);
    EXPECT_EQ(second.Tell(), 34);

    // A relative seek counts from the reader's own position, not from where
    // the other reader left the shared stream.
    EXPECT_EQ(first.Seek(-4, 1), 10);
    EXPECT_EQ(ReadText(first, 2), "kl");
    EXPECT_EQ(second.Seek(-1, 2), 35);
    EXPECT_EQ(ReadText(second, 5), "9");
    EXPECT_EQ(host->unlockedCalls, 0);
}

TEST(LockedStream, StartsWhereTheSharedStreamStands) {
    auto* host = new TestHostStream(std::string("0123456789"));
    host->position = 6;
    StreamRef reader;
    OpenReader(reader, host);
    EXPECT_EQ(reader.Tell(), 6);
    EXPECT_EQ(ReadText(reader, 10), "6789");
    EXPECT_EQ(reader.GetSize(), 10);
}

TEST(LockedStream, FailuresBelowLeaveThePositionWhereItWas) {
    auto* host = new TestHostStream(std::string("0123456789"));
    StreamRef reader;
    OpenReader(reader, host);
    ASSERT_EQ(reader.Seek(3, 0), 3);

    // The host stream fails the seek and is left at -1, like a host file.
    host->failSeeks = true;
    EXPECT_EQ(reader.Seek(5, 0), -1);
    host->failSeeks = false;
    EXPECT_EQ(host->position, -1);
    EXPECT_EQ(reader.Tell(), 3);
    EXPECT_EQ(ReadText(reader, 2), "34") << "the next read goes back to the reader's place";

    host->failReads = true;
    EXPECT_EQ(reader.Read(nullptr, 2), -1);
    EXPECT_EQ(reader.Tell(), 5);
    host->failReads = false;
    EXPECT_EQ(ReadText(reader, 1), "5");
}

TEST(LockedStream, RefusesToTransferWhenTheSharedStreamCannotBePutBack) {
    auto* host = new TestHostStream(std::string("0123456789"));
    StreamRef second;
    OpenReader(second, host);
    // A reader stacked while the host file stood at -1 (after a failed seek)
    // has no place of its own: it must not read where the other one is.
    host->position = -1;
    StreamRef stranded;
    OpenReader(stranded, host);
    EXPECT_EQ(second.Seek(4, 0), 4);
    char byte = 0;
    EXPECT_EQ(stranded.Read(&byte, 1), -1);
    EXPECT_EQ(stranded.Seek(1, 1), -1);
    EXPECT_EQ(stranded.Seek(7, 0), 7) << "an absolute seek recovers";
    EXPECT_EQ(ReadText(stranded, 1), "7");
}

TEST(LockedStream, WritesGoToTheReadersOwnPlace) {
    auto* host = new TestHostStream(std::string("..........."));
    StreamRef first;
    StreamRef second;
    OpenReader(first, host);
    OpenReader(second, host);
    first.Seek(1, 0);
    second.Seek(6, 0);
    EXPECT_EQ(first.Write("ab", 2), 2);
    EXPECT_EQ(second.Write("xy", 2), 2);
    EXPECT_EQ(first.Write("c", 1), 1);
    EXPECT_EQ(std::string(host->data.begin(), host->data.end()), ".abc..xy...");
    EXPECT_EQ(first.Tell(), 4);
    EXPECT_EQ(first.Flush().status, -1);
}

TEST(LockedStream, ReadersOnTwoThreadsNeverInterleaveOnTheSharedStream) {
    constexpr int32_t kHalf = 40000;
    auto* host = new TestHostStream(CountingBytes(2 * kHalf));
    host->slow = true;
    const std::vector<uint8_t> expected = host->data;

    auto readHalf = [&](int32_t start, std::vector<uint8_t>* out) {
        StreamRef reader;
        OpenReader(reader, host);
        reader.Seek(start, 0);
        out->resize(kHalf);
        int32_t done = 0;
        while (done < kHalf) {
            int32_t step = std::min<int32_t>(7 + done % 13, kHalf - done);
            int32_t got = reader.Read(out->data() + done, step);
            if (got <= 0) {
                break;
            }
            done += got;
        }
        out->resize(static_cast<size_t>(done));
    };

    StreamRef keep;
    keep.Set(host);  // keeps the host alive across both threads
    std::vector<uint8_t> low;
    std::vector<uint8_t> high;
    std::thread a(readHalf, 0, &low);
    std::thread b(readHalf, kHalf, &high);
    a.join();
    b.join();

    EXPECT_EQ(host->overlaps, 0);
    EXPECT_EQ(host->unlockedCalls, 0);
    EXPECT_TRUE(std::equal(low.begin(), low.end(), expected.begin()) && low.size() == kHalf);
    EXPECT_TRUE(std::equal(high.begin(), high.end(), expected.begin() + kHalf) &&
                high.size() == kHalf);
    EXPECT_EQ(host->GetRefCount(), 1);
}

TEST(LockedStream, MapAndUnmapPassThroughUnderTheLock) {
    auto* host = new TestHostStream(std::string("0123456789"));
    StreamRef reader;
    OpenReader(reader, host);
    auto* top = reader.Get();
    const void* view = top->Map(2, 3);
    EXPECT_EQ(view, host->data.data() + 2);
    top->Unmap(view);
    ASSERT_EQ(host->unmapped.size(), 1u);
    EXPECT_EQ(host->unmapped[0], view);
    EXPECT_EQ(host->unlockedCalls, 0);
    EXPECT_EQ(top->GetLock(), &host->lock);
}

TEST(LockedStream, WorksUnlockedOverAStreamWithoutASemaphore) {
    auto* host = new TestHostStream(std::string("0123456789"));
    host->withLock = false;
    StreamRef reader;
    OpenReader(reader, host);
    EXPECT_EQ(reader.Seek(8, 0), 8);
    EXPECT_EQ(ReadText(reader, 5), "89");
}

}  // namespace
}  // namespace vfs
