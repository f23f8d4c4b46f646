// Names on Windows: which the system would not take literally, and which it
// takes for one entry.
#include <gtest/gtest.h>

#include "vfs/host/host_names.h"

namespace vfs::host {
namespace {

TEST(HostNamesWin32Test, NamesTheSystemChangesOrReservesAreUnusable) {
    for (const char* name : {"trail.", "sp ", "a:b", "CON", "nul.txt", "Com1.wad", "lpt9",
                             "aux .txt", "q?", "", ".", ".."}) {
        EXPECT_NE(UnusableNameReason(name), nullptr) << name;
    }
    for (const char* name : {"trail", ".hidden", "a.b.c", "console", "com10", "nul2.txt", "x y"}) {
        EXPECT_EQ(UnusableNameReason(name), nullptr) << name;
    }
}

TEST(HostNamesWin32Test, NamesThatDifferOnlyInCaseShareAKey) {
    EXPECT_TRUE(HostFoldsNames());
    EXPECT_EQ(HostNameKey("Maps.TXT"), HostNameKey("maps.txt"));
    // In the Windows-1252 code page, \xE9 is e with an acute accent and \xC9
    // its capital.
    EXPECT_EQ(HostNameKey("\xE9.txt"), HostNameKey("\xC9.txt"));
    EXPECT_NE(HostNameKey("a.txt"), HostNameKey("b.txt"));
}

}  // namespace
}  // namespace vfs::host
