#include "vfs/host/command_line.h"

#include <gtest/gtest.h>

#include <string>

#include "vfs/host/lead_byte.h"
#include "vfs/host/path_drive.h"

namespace vfs::host {
namespace {

TEST(HostCommandLine, QuotesTheExecutablePath) {
    std::string line = GetCommandLine();
    ASSERT_GE(line.size(), 3u);
    EXPECT_EQ(line.front(), '"');
    EXPECT_EQ(line.back(), '"');
    EXPECT_NE(line.find("host_tests"), std::string::npos);
    EXPECT_EQ(line[1], '/') << "an absolute path";
}

TEST(HostPathSyntax, ThisHostHasNoDrivesAndNoLeadBytes) {
    EXPECT_EQ(GetDriveLength("C:\\games"), 0u);
    EXPECT_EQ(GetDriveLength("/usr"), 0u);
    for (int byte = 0; byte < 256; ++byte) {
        EXPECT_FALSE(IsLeadByte(static_cast<uint8_t>(byte)));
    }
}

}  // namespace
}  // namespace vfs::host
