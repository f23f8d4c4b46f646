// The Windows dialog's own logic (where it opens, the open dialog's filter
// text) and what the built tarnwad-gui.exe carries: version, manifest, icon
// and dialog resources.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "app/win32/center_window.h"
#include "app/win32/open_file_filter.h"
#include "app/win32/resource.h"

namespace tarnwad::win32 {
namespace {

using ::testing::HasSubstr;

RECT Rect(LONG left, LONG top, LONG right, LONG bottom) {
    return RECT{left, top, right, bottom};
}

TEST(CenteredPositionTest, CentresOnTheAreaAndTruncatesHalves) {
    RECT area = Rect(0, 0, 1280, 1000);
    Point at = CenteredPosition(area, area, 400, 200);
    EXPECT_EQ(at.x, 440);
    EXPECT_EQ(at.y, 400);

    // Odd sizes: both halves truncated, (0 + 1279) / 2 - 401 / 2.
    RECT odd = Rect(0, 0, 1279, 1023);
    at = CenteredPosition(odd, odd, 401, 201);
    EXPECT_EQ(at.x, 439);
    EXPECT_EQ(at.y, 411);
}

TEST(CenteredPositionTest, TruncatesTowardZeroLeftOfAndAboveThePrimaryMonitor) {
    // A monitor at negative coordinates: (-1921 + -2) / 2 is -961, not -962.
    RECT area = Rect(-1920, -1080, 0, 0);
    RECT owner = Rect(-1921, -1083, -2, -4);
    Point at = CenteredPosition(owner, area, 101, 51);
    EXPECT_EQ(at.x, -961 - 50);
    EXPECT_EQ(at.y, -543 - 25);
}

TEST(CenteredPositionTest, KeepsAWindowOverAnOwnerInsideTheArea) {
    RECT area = Rect(0, 0, 1280, 984);
    // An owner hanging over each edge in turn.
    EXPECT_EQ(CenteredPosition(Rect(-300, 400, 100, 600), area, 400, 100).x, 0);
    EXPECT_EQ(CenteredPosition(Rect(1200, 400, 1600, 600), area, 400, 100).x, 880);
    EXPECT_EQ(CenteredPosition(Rect(400, -200, 800, 0), area, 400, 100).y, 0);
    EXPECT_EQ(CenteredPosition(Rect(400, 950, 800, 1100), area, 400, 100).y, 884);
    // Exactly at the edge is inside.
    EXPECT_EQ(CenteredPosition(Rect(880, 0, 1280, 100), area, 400, 100).x, 880);

    // An area with an offset (a taskbar at the top or left).
    RECT offset = Rect(60, 40, 1280, 1024);
    Point at = CenteredPosition(Rect(0, 0, 100, 100), offset, 300, 200);
    EXPECT_EQ(at.x, 60);
    EXPECT_EQ(at.y, 40);
}

TEST(CenteredPositionTest, AWindowLargerThanTheAreaEndsAtTheEdgeItCrossed) {
    RECT area = Rect(0, 0, 800, 600);
    // Centred on the area it crosses both edges: the left and top ones win.
    Point at = CenteredPosition(area, area, 1000, 700);
    EXPECT_EQ(at.x, 0);
    EXPECT_EQ(at.y, 0);
    // Centred far right and low it crosses only the right and bottom ones.
    at = CenteredPosition(Rect(700, 500, 900, 700), area, 1000, 700);
    EXPECT_EQ(at.x, -200);
    EXPECT_EQ(at.y, -100);
}

TEST(OpenFileFilterTextTest, DescriptionAndPatternPairsEndWithAnEmptyPair) {
    std::string text = OpenFileFilterText({{"*.wad", "Tarn Wad File"}});
    EXPECT_EQ(text, std::string("Tarn Wad File\0*.wad\0\0", 21));

    // In the order given, neither by pattern nor by description.
    text = OpenFileFilterText({{"*.wad", "Tarn Wad File"}, {"*.*", "All files (*.*)"}});
    EXPECT_EQ(text, std::string("Tarn Wad File\0*.wad\0All files (*.*)\0*.*\0\0", 41));

    EXPECT_TRUE(OpenFileFilterText({}).empty());
}

// The built program, loaded as data.
class GuiResourcesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        module = LoadLibraryExA(TARNWAD_GUI_EXE, nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << "cannot load " << TARNWAD_GUI_EXE;
    }
    void TearDown() override {
        if (module != nullptr) {
            FreeLibrary(module);
        }
    }

    std::string Resource(LPCSTR type, LPCSTR name) {
        HRSRC found = FindResourceA(module, name, type);
        if (found == nullptr) {
            return "";
        }
        const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        return std::string(data, SizeofResource(module, found));
    }

    HMODULE module = nullptr;
};

TEST_F(GuiResourcesTest, VersionInformationNamesTheProductAndTheProjectVersion) {
    std::string block = Resource(MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(VS_VERSION_INFO));
    ASSERT_FALSE(block.empty());
    auto query = [&](const char* key) {
        char* value = nullptr;
        UINT length = 0;
        std::string path = std::string("\\StringFileInfo\\040904E4\\") + key;
        if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value),
                            &length) ||
            value == nullptr) {
            return std::string("(missing)");
        }
        return std::string(value);
    };
    EXPECT_EQ(query("ProductName"), "tarnwad");
    EXPECT_EQ(query("ProductVersion"), TARNWAD_PROJECT_VERSION);
    EXPECT_EQ(query("FileVersion"), TARNWAD_PROJECT_VERSION);
    EXPECT_EQ(query("OriginalFilename"), "tarnwad-gui.exe");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    char numbers[64];
    std::snprintf(numbers, sizeof(numbers), "%u.%u.%u", HIWORD(fixed->dwProductVersionMS),
                  LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS));
    EXPECT_EQ(std::string(numbers), TARNWAD_PROJECT_VERSION);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST_F(GuiResourcesTest, ManifestAsksForVisualStylesAndPerMonitorDpiAwareness) {
    std::string manifest = Resource(RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
    ASSERT_FALSE(manifest.empty());
    EXPECT_THAT(manifest,
                HasSubstr("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""));
    EXPECT_THAT(manifest, HasSubstr(">PerMonitorV2, PerMonitor</dpiAwareness>"));
    EXPECT_THAT(manifest, HasSubstr(">true/pm</dpiAware>"));
}

TEST_F(GuiResourcesTest, IconHoldsTheShellsSizesAndTheDialogIsThere) {
    std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_TARNWAD));
    ASSERT_GE(group.size(), 6u);
    uint16_t count = 0;
    std::memcpy(&count, group.data() + 4, 2);
    ASSERT_EQ(group.size(), 6u + 14u * count);
    std::map<int, int> bitsBySize;
    for (uint16_t i = 0; i < count; ++i) {
        const char* entry = group.data() + 6 + 14 * i;
        int side = static_cast<unsigned char>(entry[0]);
        uint16_t bits = 0;
        std::memcpy(&bits, entry + 6, 2);
        bitsBySize[side == 0 ? 256 : side] = bits;
    }
    for (int size : {16, 32, 48, 256}) {
        EXPECT_EQ(bitsBySize[size], 32) << size << " pixels";
    }
    // Loads as the system would draw it.
    HICON icon = static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(IDI_TARNWAD), IMAGE_ICON, 32, 32, 0));
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) {
        DestroyIcon(icon);
    }

    EXPECT_FALSE(Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_MAIN)).empty());
}

}  // namespace
}  // namespace tarnwad::win32
