#include "vfs/overlay/overlay_file_system.h"

#include <gtest/gtest.h>

namespace vfs {
namespace {

TEST(OverlayFileSystem, ChangesFailAsUnsupported) {
    OverlayFileSystem overlay;
    EXPECT_TRUE(overlay.Delete("a").Failed());
    EXPECT_EQ(LastError().code, ErrorCode::UNSUPPORTED);
}

}  // namespace
}  // namespace vfs
