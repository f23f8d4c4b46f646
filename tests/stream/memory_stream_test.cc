#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "tests/stream/test_host_stream.h"
#include "vfs/core/stream_ref.h"
#include "vfs/stream/memory_stream.h"

namespace vfs {
namespace {

// A memory stream holding a given text.
class TextMemoryStream : public MemoryStream {
  public:
    explicit TextMemoryStream(const std::string& text) {
        Init(static_cast<int32_t>(text.size()));
        std::memcpy(buffer, text.data(), text.size());
    }
};

std::string ReadText(Stream& stream, int32_t count) {
    std::string text(static_cast<size_t>(count), '\0');
    int32_t got = stream.Read(text.data(), count);
    text.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return text;
}

TEST(MemoryStream, InitGivesZeroedContentsOfThatSize) {
    MemoryStream stream;
    EXPECT_EQ(stream.Init(6).status, 0);
    EXPECT_EQ(stream.GetStatus().status, 0);
    EXPECT_EQ(stream.GetSize(), 6);
    EXPECT_EQ(ReadText(stream, 10), std::string(6, '\0'));
    EXPECT_EQ(stream.Tell(), 6);
}

TEST(MemoryStream, RefusesANegativeSize) {
    MemoryStream stream;
    EXPECT_EQ(stream.Init(-1).status, -1);
    EXPECT_EQ(stream.GetStatus().status, -1);
    EXPECT_EQ(stream.GetSize(), 0);
    char byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0);
    EXPECT_EQ(stream.Seek(0, 0), -1);
}

TEST(MemoryStream, ReadsCopyUpToTheEnd) {
    TextMemoryStream stream("abcdefghij");
    EXPECT_EQ(ReadText(stream, 3), "abc");
    EXPECT_EQ(ReadText(stream, 100), "defghij");
    EXPECT_EQ(ReadText(stream, 100), "");
    char byte = 'x';
    EXPECT_EQ(stream.Seek(2, 0), 2);
    EXPECT_EQ(stream.Read(&byte, -5), 0);
    EXPECT_EQ(stream.Read(&byte, std::numeric_limits<int32_t>::min()), 0);
    EXPECT_EQ(byte, 'x');
    EXPECT_EQ(stream.Write("zz", 2), 0);
    EXPECT_EQ(ReadText(stream, 2), "cd");
    EXPECT_EQ(stream.Flush().status, -1);
}

TEST(MemoryStream, SeekTable) {
    TextMemoryStream stream("abcdefghij");
    const int32_t min = std::numeric_limits<int32_t>::min();
    const int32_t max = std::numeric_limits<int32_t>::max();
    struct Case {
        int32_t offset;
        int32_t origin;
        int32_t expected;
    };
    const Case cases[] = {
        {0, 0, 0},   {10, 0, 10},  {11, 0, -1},  {-1, 0, -1},  {-4, 1, 0},  {6, 1, 10},
        {-5, 1, -1}, {7, 1, -1},   {0, 1, 4},    {0, 2, 10},   {-10, 2, 0}, {-11, 2, -1},
        {1, 2, -1},  {max, 1, -1}, {min, 1, -1}, {min, 2, -1}, {0, 3, -1},  {0, -1, -1},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(stream.Seek(4, 0), 4);
        EXPECT_EQ(stream.Seek(c.offset, c.origin), c.expected)
            << "Seek(" << c.offset << ", " << c.origin << ")";
        int32_t now = c.expected < 0 ? 4 : c.expected;
        EXPECT_EQ(stream.Tell(), now);
        EXPECT_EQ(ReadText(stream, 1), now < 10 ? std::string(1, "abcdefghij"[now]) : "");
    }
}

TEST(MemoryStream, AnEmptyStreamReadsNothingAndSeeksOnlyToZero) {
    MemoryStream stream;
    ASSERT_EQ(stream.Init(0).status, 0);
    char byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0);
    for (int32_t origin = 0; origin < 3; ++origin) {
        EXPECT_EQ(stream.Seek(0, origin), 0);
        EXPECT_EQ(stream.Seek(1, origin), -1);
        EXPECT_EQ(stream.Seek(-1, origin), -1);
    }
    EXPECT_EQ(stream.Tell(), 0);
}

TEST(MemoryStream, MapsItsOwnContents) {
    auto* host = new test::TestHostStream(std::string("compressed"));
    StreamRef ref;
    ref.Set(host);
    auto* stream = new TextMemoryStream("decoded!");
    ref.Set(stream);
    auto* whole = static_cast<const char*>(ref.Map());
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(std::string(whole, 8), "decoded!");
    EXPECT_EQ(static_cast<const char*>(stream->Map(3, 5)), whole + 3);
    EXPECT_EQ(stream->Map(3, 6), nullptr);
    stream->Unmap(whole);
    EXPECT_EQ(host->mapCount, 0);
    EXPECT_TRUE(host->unmapped.empty());
}

}  // namespace
}  // namespace vfs
