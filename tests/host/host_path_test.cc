#include "vfs/host/host_path.h"

#include <gtest/gtest.h>

#include <string>

#include "vfs/host/host_limits.h"

namespace vfs::host {
namespace {

TEST(HostPathTest, APathThatDoesNotFitIsRefusedNotCut) {
    std::string longest(HOST_MAX_PATH - 1, 'a');
    HostPath fits(longest.c_str());
    EXPECT_TRUE(fits.IsValid());
    EXPECT_EQ(longest, fits.c_str());

    std::string tooLong(HOST_MAX_PATH, 'a');
    HostPath refused(tooLong.c_str());
    EXPECT_FALSE(refused.IsValid());
    EXPECT_STREQ("", refused.c_str());

    HostPath null(nullptr);
    EXPECT_FALSE(null.IsValid());
}

}  // namespace
}  // namespace vfs::host
