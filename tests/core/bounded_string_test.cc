#include "vfs/core/bounded_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vfs {
namespace {

TEST(BoundedString, AppendPastCapacityCutsAndTheNextOperationClearsTheFlag) {
    char buffer[10];
    BoundedString s(buffer, sizeof(buffer));
    s.Assign("12345");
    EXPECT_EQ(s.overflow, 0u);
    s.Append("6789abc");
    EXPECT_EQ(s.length, 9u);
    EXPECT_EQ(s.overflow, 1u);
    EXPECT_STREQ(buffer, "123456789");
    s.Assign("xyz");
    EXPECT_EQ(s.overflow, 0u);
    EXPECT_STREQ(buffer, "xyz");
}

TEST(BoundedString, CharacterOperationsDoNotWriteWhenCut) {
    char buffer[4];
    BoundedString s(buffer, sizeof(buffer));
    s.Append('a');
    s.Append('b');
    s.Append('c');
    EXPECT_EQ(s.overflow, 0u);
    s.Append('d');
    EXPECT_EQ(s.overflow, 1u);
    EXPECT_STREQ(buffer, "abc");
    s.Append('\0');
    EXPECT_STREQ(buffer, "abc");
    s.Assign('z');
    EXPECT_STREQ(buffer, "z");
    s.Assign('\0');
    EXPECT_EQ(s.length, 0u);

    char one[1];
    BoundedString tiny(one, 1);
    tiny.Assign('q');
    EXPECT_EQ(tiny.overflow, 1u);
    EXPECT_EQ(one[0], '\0');
}

TEST(BoundedString, CapacityZeroWritesNothing) {
    char guard = 'G';
    BoundedString s(&guard, 0);
    EXPECT_EQ(s.overflow, 1u);
    s.Assign("abc");
    s.Append('x');
    s.Format("%d", 5);
    EXPECT_EQ(s.length, 0u);
    EXPECT_EQ(s.overflow, 1u);
    EXPECT_EQ(guard, 'G');
}

TEST(BoundedString, AdoptsOrCutsThePresentText) {
    char buffer[8];
    std::strcpy(buffer, "abc");
    BoundedString kept(buffer, sizeof(buffer), false);
    EXPECT_EQ(kept.length, 3u);
    EXPECT_EQ(kept.overflow, 0u);

    char full[4] = {'w', 'x', 'y', 'z'};  // no NUL inside the buffer
    BoundedString cut(full, sizeof(full), false);
    EXPECT_EQ(cut.length, 3u);
    EXPECT_EQ(cut.overflow, 1u);
    EXPECT_STREQ(full, "wxy");
}

TEST(BoundedString, FormatIsBoundedAndFlagsCuts) {
    char buffer[8];
    BoundedString s(buffer, sizeof(buffer));
    s.Format("%d-%s", 12, "ab");
    EXPECT_STREQ(buffer, "12-ab");
    EXPECT_EQ(s.length, 5u);
    EXPECT_EQ(s.overflow, 0u);
    s.Format("%s", "0123456789");
    EXPECT_STREQ(buffer, "0123456");
    EXPECT_EQ(s.length, 7u);
    EXPECT_EQ(s.overflow, 1u);
    s.Format("%s", "1234567");
    EXPECT_EQ(s.overflow, 0u) << "exactly capacity - 1 characters fit";
    s.Format(nullptr);
    EXPECT_EQ(s.length, 0u);
}

TEST(BoundedString, ViewsAndOwnText) {
    char buffer[16];
    BoundedString s(buffer, sizeof(buffer));
    const char text[] = "abcdefgh";
    s.Assign(StringView(text + 2, 3));
    EXPECT_STREQ(buffer, "cde");
    s.Append(StringView(text, 20 - 12));
    EXPECT_STREQ(buffer, "cdeabcdefgh");
    s.Append(StringView(buffer, s.length));
    EXPECT_EQ(s.length, 15u);
    EXPECT_EQ(s.overflow, 1u);
    EXPECT_EQ(std::string(buffer), "cdeabcdefghcdea");
}

}  // namespace
}  // namespace vfs
