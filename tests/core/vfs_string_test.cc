#include "vfs/core/vfs_string.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vfs {
namespace {

std::string Text(const StringView& view) {
    return std::string(view.data, view.length);
}

TEST(VfsStringCapacity, GrowsToNextMultipleOfEightAndKeepsBlock) {
    VfsString s;
    EXPECT_EQ(s.capacity, 8u);
    EXPECT_EQ(s.length, 0u);
    EXPECT_STREQ(s.c_str(), "");

    s.Assign("abcd");
    char* block = s.data;
    s.SetLength(8);
    EXPECT_EQ(s.data, block) << "a length up to the capacity keeps the block";
    EXPECT_EQ(s.capacity, 8u);
    s.data[4] = 'e';
    s.SetLength(5);
    s.SetLength(9);
    EXPECT_EQ(s.capacity, 16u);
    EXPECT_EQ(std::string(s.data, 5), "abcde") << "growth keeps the old text";
    EXPECT_EQ(s.data[9], '\0');

    s.SetLength(2);
    EXPECT_EQ(s.capacity, 16u) << "a string never shrinks its block";
    EXPECT_STREQ(s.c_str(), "ab");
}

TEST(VfsStringCapacity, ConstructionFollowsTheRule) {
    EXPECT_EQ(VfsString("").capacity, 8u);
    EXPECT_EQ(VfsString("1234567").capacity, 8u);
    EXPECT_EQ(VfsString("12345678").capacity, 16u);
    VfsString twenty("abcdefghijklmnopqrst");
    VfsString copy(twenty);
    EXPECT_EQ(copy.capacity, 24u);
    EXPECT_NE(copy.data, twenty.data);
    EXPECT_TRUE(copy == "abcdefghijklmnopqrst");
    VfsString fromView(twenty.Mid(5, 3));
    EXPECT_TRUE(fromView == "fgh");
    EXPECT_EQ(fromView.capacity, 8u);
    VfsString fromNull(static_cast<const char*>(nullptr));
    EXPECT_EQ(fromNull.length, 0u);
    EXPECT_EQ(fromNull.capacity, 8u);
}

TEST(VfsStringAssign, CoversEveryForm) {
    VfsString s("some text here!!");
    char* block = s.data;
    s.Assign(static_cast<const char*>(nullptr));
    EXPECT_EQ(s.length, 0u);
    EXPECT_EQ(s.data, block) << "assigning null keeps the block";

    s.Assign('x');
    EXPECT_TRUE(s == "x");
    s.Assign('\0');
    EXPECT_EQ(s.length, 0u);

    VfsString other("copied");
    s.Assign(other);
    EXPECT_TRUE(s == "copied");
    VfsString& same = s;
    s = same;  // self-assignment changes nothing
    EXPECT_TRUE(s == "copied");
}

TEST(VfsStringAssign, ViewOfOwnTextGivesThatPart) {
    VfsString s("prefix-body");
    s.AssignView(s.Mid(7));
    EXPECT_TRUE(s == "body");
    VfsString t("abcdef");
    t.AssignView(t.Left(3));
    EXPECT_TRUE(t == "abc");
    VfsString longer("0123456789abcdefghij");
    VfsString small("ab");
    small.AssignView(longer.Mid(2));
    EXPECT_TRUE(small == "23456789abcdefghij");
}

TEST(VfsStringAppend, GrowsAndStopsAtNul) {
    VfsString s("dir");
    s.Append("\\");
    s.Append('f');
    s.Append('\0');
    s.Append(static_cast<const char*>(nullptr));
    s.Append("ile.txt");
    EXPECT_TRUE(s == "dir\\file.txt");
    EXPECT_EQ(s.capacity, 16u);

    const char withNul[] = {'a', 'b', '\0', 'c'};
    VfsString t("x");
    t.Append(StringView(withNul, 4));
    EXPECT_TRUE(t == "xab");
    EXPECT_EQ(t.length, 3u);

    VfsString self("abc");
    self.Append(self.Left(3));
    EXPECT_TRUE(self == "abcabc");
    for (int i = 0; i < 5; ++i) {
        self.Append(self.Mid(0));
    }
    EXPECT_EQ(self.length, 6u * 32u);
}

TEST(VfsStringBuffer, GetAndReleaseBuffer) {
    VfsString s;
    char* p = s.GetBuffer(20);
    EXPECT_GE(s.capacity, 20u);
    std::snprintf(p, 21, "%s", "written");
    s.ReleaseBuffer();
    EXPECT_EQ(s.length, 7u);
    EXPECT_TRUE(s == "written");
    s.ReleaseBuffer(3);
    EXPECT_TRUE(s == "wri");
}

TEST(VfsStringCompare, EqualityAndSingleCharacterInequality) {
    VfsString empty;
    EXPECT_TRUE(empty == static_cast<const char*>(nullptr));
    EXPECT_TRUE(empty == "");
    EXPECT_FALSE(empty != '\0') << "an empty string equals NUL";
    EXPECT_TRUE(empty != 'a');

    VfsString one("a");
    EXPECT_FALSE(one != 'a');
    EXPECT_TRUE(one != 'b');
    EXPECT_FALSE(one == static_cast<const char*>(nullptr));

    VfsString two("aa");
    EXPECT_TRUE(two != 'a') << "any string of two characters differs from a character";
    EXPECT_TRUE(two != "a");
    EXPECT_FALSE(two == "aaa");
    EXPECT_TRUE(two == "aa");
}

TEST(VfsStringSearch, ForwardSearchesAtTheirBoundaries) {
    VfsString s("a\\b/c.txt");
    EXPECT_EQ(s.Find('\\'), 1);
    EXPECT_EQ(s.Find('t', 7), 8);
    EXPECT_EQ(s.Find('a', 9), -1) << "start at the length";
    EXPECT_EQ(s.Find('a', 100), -1) << "start beyond the length";
    EXPECT_EQ(s.Find('\0'), -1);
    EXPECT_EQ(s.Find("txt"), 6) << "a text at the very end";
    EXPECT_EQ(s.Find("txt", 7), -1);
    EXPECT_EQ(s.Find(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(s.Find("", 3), 3);
    EXPECT_EQ(s.FindOneOf("\\/"), 1);
    EXPECT_EQ(s.FindOneOf("\\/", 2), 3);
    EXPECT_EQ(s.FindOneOf("\\/", 4), -1);
    EXPECT_EQ(s.FindOneOf(nullptr), -1);
    EXPECT_EQ(s.FindOneOf("a", 50), -1);
}

TEST(VfsStringSearch, BackwardSearchesAtTheirBoundaries) {
    VfsString s("abcabc");
    EXPECT_EQ(s.ReverseFind("abc"), 3);
    EXPECT_EQ(s.ReverseFind("abc", 2), 0);
    EXPECT_EQ(s.ReverseFind("bc", 100), 4);
    EXPECT_EQ(s.ReverseFind("abcabc"), -1) << "a text as long as the string is never found";
    EXPECT_EQ(s.ReverseFind("x"), -1);
    EXPECT_EQ(s.ReverseFind(nullptr), -1);
    EXPECT_EQ(VfsString().ReverseFind("a"), -1);
    EXPECT_EQ(s.ReverseFind("bc", 5), 4)
        << "a start too close to the end searches from the last fit";

    VfsString path("dir\\sub/name");
    EXPECT_EQ(path.ReverseFindOneOf("\\/"), 7);
    EXPECT_EQ(path.ReverseFindOneOf("\\/", 6), 3);
    EXPECT_EQ(path.ReverseFindOneOf("\\/", 2), -1);
    EXPECT_EQ(path.ReverseFindOneOf("e"), 11) << "-1 starts at the last character";
    EXPECT_EQ(VfsString().ReverseFindOneOf("a"), -1);
    EXPECT_EQ(path.ReverseFindOneOf(nullptr), -1);
}

TEST(VfsStringSubstrings, NeverReachPastTheText) {
    VfsString s("hello");
    EXPECT_EQ(Text(s.Left(2)), "he");
    EXPECT_EQ(Text(s.Left(99)), "hello");
    EXPECT_EQ(Text(s.Right(3)), "llo");
    EXPECT_EQ(Text(s.Right(99)), "hello");
    EXPECT_EQ(Text(s.Mid(1)), "ello");
    EXPECT_EQ(Text(s.Mid(99)), "");
    EXPECT_EQ(s.Mid(99).data, s.data + 5);
    EXPECT_EQ(Text(s.Mid(1, 2)), "el");
    EXPECT_EQ(Text(s.Mid(3, 99)), "lo");
    EXPECT_EQ(Text(s.Mid(9, 9)), "");
}

template <class... Args>
std::string Reference(const char* format, Args... args) {
    char buffer[1024];
    std::snprintf(buffer, sizeof(buffer), format, args...);
    return buffer;
}

TEST(VfsStringFormat, MatchesThePlatformFormatter) {
    VfsString s;
    // volatile: the compiler must not see the null and warn about it.
    const char* volatile noText = nullptr;
    s.Format("%s", noText);
    EXPECT_EQ(std::string(s.c_str()), Reference("%s", noText));
    EXPECT_EQ(s.capacity, 8u) << "a null string argument sizes 6 characters";

    s.Format("%d", -12345);
    EXPECT_TRUE(s == "-12345");
    EXPECT_EQ(s.capacity, 40u) << "a bare integer conversion sizes 32 characters";

    s.Format("%s\\%s", "dir", "file.txt");
    EXPECT_TRUE(s == "dir\\file.txt");
    s.Format("%5.2f|%-6s|%x|%c|%%|%#o", 3.14159, "ab", 255u, 'z', 8u);
    EXPECT_EQ(std::string(s.c_str()),
              Reference("%5.2f|%-6s|%x|%c|%%|%#o", 3.14159, "ab", 255u, 'z', 8u));
    s.Format("%*d|%.*s", 7, 42, 2, "abcdef");
    EXPECT_EQ(std::string(s.c_str()), Reference("%*d|%.*s", 7, 42, 2, "abcdef"));
    s.Format("%ld %lu", -5L, 4000000000UL);
    EXPECT_EQ(std::string(s.c_str()), Reference("%ld %lu", -5L, 4000000000UL));
    s.Format(nullptr);
    EXPECT_EQ(s.length, 0u);
}

TEST(VfsStringFormat, GrowsWhenTheEstimateFallsShort) {
    // A precision smaller than the width, and a very long float, both defeat
    // the estimate; the text must still come out whole.
    VfsString s;
    s.Format("%300.1s|", "abc");
    EXPECT_EQ(std::string(s.c_str()), std::string(299, ' ') + "a|");
    EXPECT_EQ(s.length, 301u);
    s.Format("%.0f", 1e200);
    EXPECT_EQ(std::string(s.c_str()), Reference("%.0f", 1e200));
    s.Format("%lld", static_cast<long long>(-1234567890123456789LL));
    EXPECT_TRUE(s == "-1234567890123456789");
}

}  // namespace
}  // namespace vfs
