#include "platform/screen_layout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorvan {
namespace {

// A laptop at the origin and a projector to its right, made primary.
const std::vector<ScreenInfo> kLaptopAndProjector = {
    {"eDP-1", {0, 0, 1366, 768}, {1366, 768}, false},
    {"HDMI-1", {1366, 0, 1920, 1080}, {1920, 1080}, true},
};

TEST(ScreenLayoutTest, TheBoardsScreenIsTheNamedOneElseThePrimaryElseTheFirst) {
    const DesktopRect desktop{0, 0, 3286, 1080};
    const ScreenPlacement laptop{{1366, 768}, {0, 0, 1366, 768}, desktop};
    const ScreenPlacement projector{{1920, 1080}, {1366, 0, 1920, 1080}, desktop};
    const std::vector<ScreenInfo> noPrimary = {kLaptopAndProjector[1], kLaptopAndProjector[0]};
    std::vector<ScreenInfo> noPrimaryFlag = noPrimary;
    noPrimaryFlag[0].primary = false;
    struct Case {
        const char* what;
        const std::vector<ScreenInfo>& screens;
        std::string requested;
        BoardScreen expected;
    };
    const Case cases[] = {
        {"nothing asked: the primary", kLaptopAndProjector, "", {"HDMI-1", projector, ""}},
        {"named", kLaptopAndProjector, "eDP-1", {"eDP-1", laptop, ""}},
        {"named, not connected", kLaptopAndProjector, "DP-2", {"HDMI-1", projector, "DP-2"}},
        {"names are exact", kLaptopAndProjector, "hdmi-1", {"HDMI-1", projector, "hdmi-1"}},
        {"no primary: the first", noPrimaryFlag, "", {"HDMI-1", projector, ""}},
        {"no screens at all", {}, "HDMI-1", {"", {}, "HDMI-1"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseBoardScreen(c.screens, c.requested), c.expected) << c.what;
    }
}

TEST(ScreenLayoutTest, TheDesktopIsTheBoundingBoxOfEveryScreen) {
    // A projector above and left of the laptop, and one mirrored on it.
    const std::vector<ScreenInfo> screens = {
        {"eDP-1", {0, 0, 1366, 768}, {1366, 768}, true},
        {"DP-1", {-1024, -600, 800, 600}, {800, 600}, false},
        {"HDMI-1", {0, 0, 1366, 768}, {1366, 768}, false},
    };
    EXPECT_EQ(chooseBoardScreen(screens, "DP-1").placement,
              (ScreenPlacement{{800, 600}, {-1024, -600, 800, 600}, {-1024, -600, 2390, 1368}}));
}

TEST(ScreenLayoutTest, ListNamesGeometryPrimaryScaleAndTheBoardsScreen) {
    std::vector<ScreenInfo> screens = kLaptopAndProjector;
    screens[0].pixels = {2732, 1536};  // a Wayland output at scale 2
    EXPECT_EQ(screenListText(screens, ""),
              "eDP-1 1366x768+0+0 (2732x1536 pixels)\nHDMI-1 1920x1080+1366+0 primary board\n");
    EXPECT_EQ(screenListText(screens, "eDP-1"),
              "eDP-1 1366x768+0+0 (2732x1536 pixels) board\nHDMI-1 1920x1080+1366+0 primary\n");
    EXPECT_EQ(screenListText({{"", {-800, 0, 800, 600}, {800, 600}, true}}, ""),
              "(unnamed) 800x600-800+0 primary board\n");
}

}  // namespace
}  // namespace zorvan
