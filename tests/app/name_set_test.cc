#include "app/name_set.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnwad {
namespace {

TEST(NameSet, TellsRepeatsFromNamesThatOnlyShareAPrefix) {
    NameSet set;
    EXPECT_TRUE(set.Insert("ab"));
    EXPECT_TRUE(set.Insert("a"));
    EXPECT_TRUE(set.Insert("abc"));
    EXPECT_TRUE(set.Insert(""));
    EXPECT_FALSE(set.Insert("a"));
    EXPECT_FALSE(set.Insert("ab"));
    EXPECT_FALSE(set.Insert("abc"));
    EXPECT_FALSE(set.Insert(""));
    EXPECT_TRUE(set.Insert("abcd"));
    EXPECT_EQ(set.Size(), 5u);
}

TEST(NameSet, KeepsEveryNameAcrossManyGrowths) {
    // Enough names to grow the table many times over, and names whose
    // digits differ only in order, so that every slot chain gets work.
    NameSet set;
    constexpr int kNames = 100000;
    for (int i = 0; i < kNames; ++i) {
        ASSERT_TRUE(set.Insert("f" + std::to_string(i) + ".dat")) << i;
    }
    for (int i = 0; i < kNames; ++i) {
        ASSERT_FALSE(set.Insert("f" + std::to_string(i) + ".dat")) << i;
    }
    EXPECT_TRUE(set.Insert("f" + std::to_string(kNames) + ".dat"));
    EXPECT_TRUE(set.Insert("f0.da"));
    EXPECT_EQ(set.Size(), static_cast<size_t>(kNames) + 2);
}

}  // namespace
}  // namespace tarnwad
