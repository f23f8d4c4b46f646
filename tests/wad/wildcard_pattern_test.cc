// Wildcard patterns: how they compile and what they match, alone and as the
// leaf pattern of an enumeration.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wad/fake_archive_stream.h"
#include "vfs/wad/wildcard_pattern.h"

namespace {

using vfs::WildcardPattern;

std::vector<std::string> SegmentsOf(const char* text) {
    WildcardPattern pattern;
    EXPECT_EQ(pattern.Compile(text), vfs::Result(0));
    std::vector<std::string> segments;
    for (const vfs::VfsString& segment : pattern.Segments()) {
        segments.emplace_back(segment.c_str());
    }
    return segments;
}

bool Matches(const char* pattern, const char* name) {
    WildcardPattern compiled;
    compiled.Compile(pattern);
    return compiled.Match(name);
}

using Segments = std::vector<std::string>;

TEST(WildcardPatternTest, CompilesIntoSegments) {
    EXPECT_EQ(SegmentsOf("*.*"), (Segments{"*.", "*"}));
    EXPECT_EQ(SegmentsOf("abc?d*e"), (Segments{"abc", "?d", "*e"}));
    EXPECT_EQ(SegmentsOf("a*?b"), (Segments{"a", "*", "?b"}));
    EXPECT_EQ(SegmentsOf("a?*?b"), (Segments{"a", "?", "*b"}));
    EXPECT_EQ(SegmentsOf(""), Segments{});
    EXPECT_EQ(SegmentsOf("plain"), Segments{"plain"});
    // Only the text's first wildcard keeps the wildcards after it.
    EXPECT_EQ(SegmentsOf("**x"), (Segments{"*", "*x"}));
    EXPECT_EQ(SegmentsOf("?*?*?x"), (Segments{"?", "*x"}));
}

TEST(WildcardPatternTest, RecompilingReplacesTheSegments) {
    WildcardPattern pattern;
    pattern.Compile("a*b");
    pattern.Compile("c");
    EXPECT_TRUE(pattern.Match("c"));
    EXPECT_FALSE(pattern.Match("ab"));
}

TEST(WildcardPatternTest, MatchesGreedilyWithoutBacktracking) {
    EXPECT_TRUE(Matches("", "anything"));
    EXPECT_TRUE(Matches("", ""));
    EXPECT_TRUE(Matches("abc", "abc"));
    EXPECT_FALSE(Matches("abc", "abcd"));
    EXPECT_FALSE(Matches("abc", "ab"));
    EXPECT_TRUE(Matches("*.txt", "a.txt.bak"));  // a final "*" segment does not anchor
    EXPECT_TRUE(Matches("*.t", "a.txt"));
    EXPECT_FALSE(Matches("*x?z", "xaxbz"));  // the first x is taken for good
    EXPECT_TRUE(Matches("a?c", "abc"));
    EXPECT_FALSE(Matches("a?c", "ac"));
    EXPECT_FALSE(Matches("a?", "a"));
    EXPECT_TRUE(Matches("a*?b", "axb"));
    EXPECT_FALSE(Matches("a*?b", "axyb"));  // "*" with no literal takes the empty text
    EXPECT_TRUE(Matches("*", ""));
    EXPECT_FALSE(Matches("?", ""));
    EXPECT_FALSE(Matches("*.", "readme"));
}

struct LeafCase {
    const char* pattern;
    const char* name;
    bool reported;
};

// The leaf patterns of an enumeration, with the ".*" rule: a pattern ending
// in ".*" also matches through the pattern without those two characters.
TEST(WildcardPatternTest, LeafPatternsOfAnEnumeration) {
    const LeafCase cases[] = {
        {"*.*", "readme", true},  {"*.*", "a.txt", true},       {"a.*", "a", true},
        {"a.*", "a.b.c", true},   {"a.*", "ab", false},         {".*", "x", true},
        {".*", "a.b", true},      {"*.txt", "a.txt.bak", true}, {"*.t", "a.txt", true},
        {"*x?z", "xaxbz", false}, {"a?c", "abc", true},         {"a?c", "ac", false},
        {"a*?b", "axb", true},    {"a*?b", "axyb", false},      {"A.*", "a", true},
    };
    for (const LeafCase& c : cases) {
        vfs::WadDirectory directory;
        ASSERT_TRUE(wadtest::LoadArchive(directory, wadtest::ArchiveOf({c.name})).Succeeded());
        vfs::FindData data;
        bool reported = directory.FirstMatch(c.pattern, &data).Succeeded();
        EXPECT_EQ(reported, c.reported) << c.pattern << " / " << c.name;
        // The same answer for a subdirectory of that name.
        vfs::WadDirectory withDirectory;
        std::string inside = std::string(c.name) + "\\f";
        ASSERT_TRUE(wadtest::LoadArchive(withDirectory, wadtest::ArchiveOf({inside})).Succeeded());
        EXPECT_EQ(withDirectory.FirstMatch(c.pattern, &data).Succeeded(), c.reported)
            << c.pattern << " / directory " << c.name;
    }
}

}  // namespace
