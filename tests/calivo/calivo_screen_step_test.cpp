// The tool's first step on a real two-monitor desktop (a private Xorg whose
// dummy outputs are monitors): which screen does the board show? Chosen from
// the board alone, and saved as "Screen" with the calibration.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/driver/subprocess.h"
#include "tests/support/xorg_display.h"

namespace zorvan {
namespace {

using namespace std::chrono_literals;
using test::Subprocess;
using test::XorgDisplay;

TEST(CalivoScreenStep, AskedOnSeveralScreensAndChosenByATouchOnTheBoard) {
    XorgDisplay xorg;
    if (!xorg.ok()) {
        GTEST_SKIP() << xorg.why();
    }
    char pattern[] = "/tmp/zorvan-screen-step-XXXXXX";
    const std::string config = ::mkdtemp(pattern);
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (config + "/xdg").c_str(), 1);
    ::setenv("DISPLAY", xorg.name().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ASSERT_TRUE(xorg.xrandr({"--addmode", "DUMMY1", "800x600"}));

    struct Case {
        const char* what;
        bool projector;  // DUMMY1 800x600 right of DUMMY0, else DUMMY0 alone
        std::vector<std::string> arguments;
        bool asked;         // the screen step is shown
        std::string board;  // the screen calibrated on
        std::string saved;  // "Screen" in the settings afterwards; empty: none
    };
    const Case cases[] = {
        {"two screens: asked, the board touched while screen 2 is lit",
         true,
         {},
         true,
         "DUMMY1",
         "DUMMY1"},
        {"two screens and --screen: not asked",
         true,
         {"--screen", "DUMMY1"},
         false,
         "DUMMY1",
         "DUMMY1"},
        {"one screen: not asked", false, {}, false, "DUMMY0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(config + "/Zorvan");
        if (c.projector) {
            ASSERT_TRUE(xorg.xrandr({"--output", "DUMMY1", "--mode", "800x600", "--right-of",
                                     "DUMMY0", "--output", "DUMMY0", "--primary"}));
        } else {
            ASSERT_TRUE(xorg.xrandr({"--output", "DUMMY1", "--off"}));
        }
        Subprocess sim({Subprocess::binary("zorvan-board-sim")});
        const std::string device = sim.readLine(5s).value_or("");
        ASSERT_FALSE(device.empty());
        std::vector<std::string> argv = {
            Subprocess::binary("Calivo.app"), "--grid", "2", "--no-keys", "--device", device};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        Subprocess calivo(argv);

        std::string first;
        if (c.asked) {
            EXPECT_EQ(calivo.waitForLine("which screen", 10s).value_or(""),
                      "which screen is the board? 1 DUMMY0 1024x768, 2 DUMMY1 800x600");
            // The primary, the board's screen so far, is lit first; then the next.
            EXPECT_EQ(calivo.readLine(5s), "screen 1 lit: DUMMY0");
            ASSERT_EQ(calivo.readLine(5s), "screen 2 lit: DUMMY1");
            sim.writeStdin("mode pen\nhold 2000 2000 12\n");
            EXPECT_EQ(calivo.readLine(5s), "screen chosen: DUMMY1");
        }
        const auto board = calivo.waitForLine("board ", 10s);
        ASSERT_TRUE(board);
        EXPECT_NE(board->find(", screen " + c.board + " "), std::string::npos) << *board;
        ASSERT_TRUE(calivo.waitForLine("target 1 of 4", 5s));
        sim.writeStdin(
            "mode pen\nhold 500 400 12\nhold 500 3600 12\nhold 3500 400 12\n"
            "hold 3500 3600 12\nhold 2000 2000 12\n");
        EXPECT_TRUE(calivo.waitForLine("saved 4 dots", 10s));
        EXPECT_EQ(calivo.wait(), 0);

        std::ifstream in(config + "/Zorvan/Zorvan.conf");
        std::stringstream text;
        text << in.rdbuf();
        if (c.saved.empty()) {
            EXPECT_EQ(text.str().find("Screen="), std::string::npos) << text.str();
        } else {
            EXPECT_NE(text.str().find("Screen=" + c.saved + "\n"), std::string::npos) << text.str();
        }
    }
    std::filesystem::remove_all(config);
}

}  // namespace
}  // namespace zorvan
