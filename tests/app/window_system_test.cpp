#include "app/window_system.h"

#include <gtest/gtest.h>

#include <string>

namespace zorvan::app {
namespace {

// What the probes find on the imagined machine.
struct Machine {
    bool x = false;
    bool wayland = false;
    bool waylandPlugin = false;
};

WindowSystemProbes probesFor(const Machine& m) {
    return {
        .xReachable =
            [m](const std::string&, std::string& why) {
                why = "no X server accepts the connection";
                return m.x;
            },
        .waylandReachable =
            [m](const std::string&, std::string& why) {
                why = "nothing listens at /run/user/1000/wayland-0";
                return m.wayland;
            },
        .waylandPluginInstalled = [m] { return m.waylandPlugin; },
    };
}

TEST(ChooseWindowSystem, AWindowWhereOneCanOpenAndOneClearLineWhereNone) {
    struct Case {
        const char* what;
        WindowSystemEnvironment environment;
        Machine machine;
        std::string platform;
        std::string errorStart;  // empty: no error
        std::string errorAlsoHas = {};
    };
    const Case cases[] = {
        {"the user's choice stands", {"minimal", ":0", "wayland-0"}, {}, "", ""},
        {"no display: a service", {"", "", ""}, {}, "offscreen", ""},
        {"X that answers", {"", ":0", ""}, {.x = true}, "xcb", ""},
        {"X not running yet",
         {"", ":7", ""},
         {},
         "",
         "cannot open a window on the X display \":7\" named by DISPLAY: no X server",
         "unset DISPLAY to run without a window"},
        {"Wayland with its plugin",
         {"", ":0", "wayland-0"},
         {.x = true, .wayland = true, .waylandPlugin = true},
         "wayland",
         ""},
        {"Wayland without the plugin, Xwayland there",
         {"", ":0", "wayland-0"},
         {.x = true, .wayland = true},
         "xcb",
         ""},
        {"Wayland without the plugin, no X",
         {"", "", "wayland-0"},
         {.wayland = true},
         "",
         "cannot open a window on the Wayland display \"wayland-0\" named by WAYLAND_DISPLAY: "
         "Qt's Wayland platform plugin is not installed (Debian: sudo apt-get install "
         "qt6-wayland); DISPLAY is not set either",
         "unset WAYLAND_DISPLAY and DISPLAY"},
        {"compositor gone, X gone",
         {"", ":0", "wayland-0"},
         {.waylandPlugin = true},
         "",
         "cannot open a window on the Wayland display \"wayland-0\" named by WAYLAND_DISPLAY: "
         "nothing listens at /run/user/1000/wayland-0; nor on the X display \":0\" of DISPLAY: "
         "no X server accepts the connection"},
    };
    for (const Case& c : cases) {
        const WindowSystemChoice choice = chooseWindowSystem(c.environment, probesFor(c.machine));
        EXPECT_EQ(choice.platform, c.platform) << c.what;
        if (c.errorStart.empty()) {
            EXPECT_EQ(choice.error, "") << c.what;
        } else {
            EXPECT_EQ(choice.error.rfind(c.errorStart, 0), 0u) << c.what << ": " << choice.error;
            EXPECT_NE(choice.error.find(c.errorAlsoHas), std::string::npos) << c.what;
            EXPECT_EQ(choice.error.find('\n'), std::string::npos) << c.what;
        }
    }
}

}  // namespace
}  // namespace zorvan::app
