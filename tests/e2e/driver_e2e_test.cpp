// Board traffic from the simulator through the real driver into real pointer
// input: once through XTest on a private X server, watched by an X client,
// and once through the event log, compared line by line.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/x_event_recorder.h"
#include "tests/support/xvfb_display.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using test::ChildProcess;
using test::XEventRecorder;
using test::XInputEvent;
using test::XvfbDisplay;

constexpr int kScreenWidth = 1000;
constexpr int kScreenHeight = 800;

// The programs under test are built next to the test.
fs::path binDir() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}
fs::path dataDir() {
    return fs::path(ZORVAN_E2E_DATA);
}

std::vector<std::string> readLines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') {
            lines.push_back(line);
        }
    }
    return lines;
}

class DriverEndToEnd : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        xvfb_ = std::make_unique<XvfbDisplay>(kScreenWidth, kScreenHeight);
        ASSERT_TRUE(xvfb_->ok()) << xvfb_->why();

        // The calibration tool's save: dots 10% in from each edge saw raw
        // (500, 400), (500, 3600), (3500, 400), (3500, 3600).
        char pattern[] = "/tmp/zorvan-e2e-XXXXXX";
        config_ = mkdtemp(pattern);
        fs::create_directories(config_ / "Zorvan");
        std::ofstream(config_ / "Zorvan" / "Zorvan.conf")
            << "[General]\nDotCount=2\nDot0.x=500\nDot1.x=500\nDot2.x=3500\nDot3.x=3500\n"
               "Dot0.y=400\nDot1.y=3600\nDot2.y=400\nDot3.y=3600\n";
    }

    void TearDown() override {
        if (!config_.empty()) {
            fs::remove_all(config_);
        }
    }

    // Plays the script into the driver; returns the driver's stdout lines.
    std::vector<std::string> play(const std::string& pointer) {
        ChildProcess sim({(binDir() / "zorvan-board-sim").string(), "--linger", "300",
                          (dataDir() / (std::string(GetParam()) + ".board")).string()},
                         {});
        const auto device = sim.readLine(milliseconds(5000));
        EXPECT_TRUE(device.has_value());
        if (!device) {
            return {};
        }
        ChildProcess driver(
            {(binDir() / "zorvan").string(), "--device", *device, "--pointer", pointer},
            {{"DISPLAY", xvfb_->name()},
             {"XDG_CONFIG_HOME", config_.string()},
             {"QT_QPA_PLATFORM", "xcb"}});
        EXPECT_TRUE(sim.wait(milliseconds(60000)).has_value()) << "the script did not end";
        driver.terminate();
        std::vector<std::string> lines;
        while (auto line = driver.readLine(milliseconds(200))) {
            lines.push_back(*line);
        }
        return lines;
    }

    std::unique_ptr<XvfbDisplay> xvfb_;
    fs::path config_;
};

TEST_P(DriverEndToEnd, EventLogMatchesTheExpectedEvents) {
    std::vector<std::string> events;
    for (const std::string& line : play("log")) {
        if (line.rfind("left-", 0) == 0 || line.rfind("right-", 0) == 0) {
            events.push_back(line);
        }
    }
    const std::vector<std::string> expected =
        readLines(dataDir() / (std::string(GetParam()) + ".events"));
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(events[i], expected[i]) << "event " << i;
    }
}

// The X server keeps one state per button: a press of a button that is down
// or a release of one that is up changes nothing there.
struct ButtonChange {
    bool press;
    int button;
    int x;
    int y;
};

std::vector<ButtonChange> expectedButtonChanges(const std::vector<std::string>& events) {
    std::vector<ButtonChange> changes;
    bool down[4] = {};
    for (const std::string& line : events) {
        std::istringstream in(line);
        std::string type;
        float x = 0;
        float y = 0;
        in >> type >> x >> y;
        const bool press = type == "left-down" || type == "right-down";
        const int button = type.rfind("right-", 0) == 0 ? 3 : 1;
        if (type == "left-drag" || down[button] == press) {
            continue;
        }
        down[button] = press;
        changes.push_back(
            {press, button, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))});
    }
    return changes;
}

TEST_P(DriverEndToEnd, XPointerFollowsTheBoard) {
    XEventRecorder recorder(xvfb_->name());
    ASSERT_TRUE(recorder.ok()) << "no RECORD extension on " << xvfb_->name();
    play("xtest");

    std::vector<ButtonChange> seen;
    int lastX = -1;
    int lastY = -1;
    for (const XInputEvent& event : recorder.events()) {
        lastX = event.x;
        lastY = event.y;
        if (event.kind != XInputEvent::Kind::Motion) {
            seen.push_back(
                {event.kind == XInputEvent::Kind::Press, event.button, event.x, event.y});
        }
    }
    const std::vector<std::string> expected =
        readLines(dataDir() / (std::string(GetParam()) + ".events"));
    const std::vector<ButtonChange> want = expectedButtonChanges(expected);
    ASSERT_EQ(seen.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        // XTest places the pointer on whole pixels.
        EXPECT_EQ(seen[i].press, want[i].press) << i;
        EXPECT_EQ(seen[i].button, want[i].button) << i;
        EXPECT_NEAR(seen[i].x, want[i].x, 1) << i;
        EXPECT_NEAR(seen[i].y, want[i].y, 1) << i;
    }
    ASSERT_FALSE(expected.empty());
    std::istringstream last(expected.back());
    std::string type;
    float x = 0;
    float y = 0;
    last >> type >> x >> y;
    EXPECT_NEAR(lastX, x, 1);
    EXPECT_NEAR(lastY, y, 1);
}

INSTANTIATE_TEST_SUITE_P(Scripts, DriverEndToEnd,
                         ::testing::Values("pen_gestures", "touch_stroke"));

}  // namespace
}  // namespace zorvan
