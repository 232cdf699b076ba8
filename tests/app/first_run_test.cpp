// The real zorvan as a new user meets it: a display that is not there, a
// pointer backend that cannot work, a second driver for one board, a path
// that is no board, and a window whose status follows the simulated board.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/driver/subprocess.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Subprocess;

struct Output {
    std::vector<std::string> out;
    std::vector<std::string> err;
};

// Everything the program says until it closes its output (it has ended).
Output drain(Subprocess& program) {
    Output output;
    while (auto line = program.readLine(10s, true)) {
        output.err.push_back(*line);
    }
    while (auto line = program.readLine(1s)) {
        output.out.push_back(*line);
    }
    return output;
}

int exitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A display number nothing listens on.
std::string deadDisplay() {
    for (int n = 97;; ++n) {
        if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
            !fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
            return ":" + std::to_string(n);
        }
    }
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The driver's own choice of window system is under test: nothing from the
// test runner's environment may decide it, and the settings are a test's own.
class FirstRun : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR",
                                 "QT_LOGGING_RULES"}) {
            ::unsetenv(name);
        }
        char pattern[] = "/tmp/zorvan-first-run-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        config_ = pattern;
        ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(config_); }

    fs::path settingsFile() const { return config_ / "Zorvan" / "Zorvan.conf"; }

    fs::path config_;
};

TEST_F(FirstRun, WhatCannotStartSaysOneLineAndFails) {
    const bool uinputUsable = ::open("/dev/uinput", O_RDWR | O_CLOEXEC) >= 0;
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, std::string>> environment;
        std::vector<std::string> arguments;
        std::string lineStart;
        std::vector<std::string> lineHas;
    };
    const std::string display = deadDisplay();
    std::vector<Case> cases = {
        {"X server not running",
         {{"DISPLAY", display}},
         {},
         "zorvan: cannot open a window on the X display \"" + display + "\" named by DISPLAY",
         {"unset DISPLAY"}},
        {"Wayland that cannot be reached",
         {{"WAYLAND_DISPLAY", "wayland-zorvan-test"}},
         {},
         "zorvan: cannot open a window on the Wayland display \"wayland-zorvan-test\"",
         {"DISPLAY is not set either"}},
        {"xtest without an X server",
         {},
         {"--pointer", "xtest"},
         "zorvan: --pointer xtest cannot be used: DISPLAY is not set.",
         {"set DISPLAY"}},
    };
    if (!uinputUsable) {
        cases.push_back({"uinput without /dev/uinput",
                         {},
                         {"--pointer", "uinput"},
                         "zorvan: --pointer uinput cannot be used: cannot open /dev/uinput",
                         {"modprobe uinput", "udev rule 60-zorvan.rules"}});
    }
    for (const Case& c : cases) {
        for (const auto& [name, value] : c.environment) {
            ::setenv(name, value.c_str(), 1);
        }
        std::vector<std::string> argv{Subprocess::binary("zorvan"), "--device",
                                      (config_ / "no-board").string()};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        Subprocess zorvan(argv);
        const Output output = drain(zorvan);
        EXPECT_EQ(exitCode(zorvan.wait()), 1) << c.what;
        ASSERT_EQ(output.err.size(), 1u) << c.what << ": " << ::testing::PrintToString(output.err);
        EXPECT_EQ(output.err[0].rfind(c.lineStart, 0), 0u) << c.what << ": " << output.err[0];
        for (const std::string& part : c.lineHas) {
            EXPECT_NE(output.err[0].find(part), std::string::npos) << c.what << ": " << part;
        }
        EXPECT_TRUE(output.out.empty()) << c.what;
        for (const auto& [name, value] : c.environment) {
            ::unsetenv(name);
        }
    }
}

TEST_F(FirstRun, ANonBoardIsRefusedAndTheStartIsQuiet) {
    Subprocess zorvan({Subprocess::binary("zorvan"), "--device", "/dev/null", "--pointer", "log"});
    EXPECT_EQ(zorvan.waitForLine("zorvan: /dev/null", 5s, true),
              "zorvan: /dev/null is not a serial device");
    std::this_thread::sleep_for(300ms);  // the window is up and idle
    zorvan.signal(SIGTERM);
    const Output output = drain(zorvan);
    EXPECT_EQ(exitCode(zorvan.wait()), 0);
    // Nothing was opened, so nothing is closed with a message; and nothing
    // but the driver's own lines, each once, reaches the terminal.
    EXPECT_TRUE(output.out.empty()) << ::testing::PrintToString(output.out);
    std::set<std::string> seen;
    for (const std::string& line : output.err) {
        EXPECT_EQ(line.rfind("zorvan: ", 0), 0u) << line;
        EXPECT_TRUE(seen.insert(line).second) << "said twice: " << line;
    }
}

TEST_F(FirstRun, OneDriverPerBoardAndTheLockDiesWithItsDriver) {
    Subprocess sim({Subprocess::binary("zorvan-board-sim")});
    const auto path = sim.readLine(5s);
    ASSERT_TRUE(path && path->rfind("/dev/", 0) == 0);
    const std::vector<std::string> argv{
        Subprocess::binary("zorvan"), "--device", *path, "--pointer", "log", "--log-stdout"};

    Subprocess first(argv);
    ASSERT_TRUE(first.waitForLine("board connected at ", 5s));
    Subprocess second(argv);
    const Output refused = drain(second);
    EXPECT_EQ(exitCode(second.wait()), 1);
    const std::string conflict = "zorvan: another zorvan (pid " + std::to_string(first.pid()) +
                                 ") is already reading " + *path;
    EXPECT_NE(std::find(refused.err.begin(), refused.err.end(), conflict), refused.err.end())
        << ::testing::PrintToString(refused.err);

    // The calibration tool still opens the board.
    const int tool = ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(tool, 0);
    ::close(tool);

    // A driver that crashes takes its lock along.
    first.signal(SIGKILL);
    first.wait();
    Subprocess third(argv);
    EXPECT_EQ(third.waitForLine("board connected at ", 5s), "board connected at " + *path);
    third.signal(SIGTERM);
    EXPECT_EQ(exitCode(third.wait()), 0);
    sim.signal(SIGTERM);
    sim.wait();
}

TEST_F(FirstRun, StatusFollowsTheBoardAndThePidIsTakenBackAtTheEnd) {
    Subprocess sim({Subprocess::binary("zorvan-board-sim")});
    const auto path = sim.readLine(5s);
    ASSERT_TRUE(path && path->rfind("/dev/", 0) == 0);
    sim.writeStdin("mode pen-keys\n");
    Subprocess zorvan(
        {Subprocess::binary("zorvan"), "--device", *path, "--pointer", "log", "--log-stdout"});
    const std::string pidLine = "ZorvanPid=" + std::to_string(zorvan.pid());

    // Each line comes in this order; others (pointer events) may come between.
    const auto expectNext = [&zorvan](const std::string& line) {
        EXPECT_EQ(zorvan.waitForLine(line, 5s), line);
    };
    expectNext("waiting for the board at " + *path);
    expectNext("board connected at " + *path);
    // The first packet (the mode) waits for the first load, which also
    // publishes the pid: the window may see the two together or apart, so
    // their lines come in either order.
    std::set<std::string> awaited{"board mode: pen with soft keys",
                                  "calibration: default grid: not calibrated"};
    while (!awaited.empty()) {
        const auto line = zorvan.readLine(5s);
        ASSERT_TRUE(line) << "not seen: " << *awaited.begin();
        awaited.erase(*line);
    }
    EXPECT_NE(slurp(settingsFile()).find(pidLine), std::string::npos);

    zorvan.signal(SIGUSR2);
    expectNext("reading paused by the calibration tool");
    // The calibration tool saves a grid while the driver is paused.
    std::ofstream(settingsFile()) << "[General]\n"
                                  << pidLine << "\nDotCount=2\n"
                                  << "Dot0.x=500\nDot1.x=500\nDot2.x=3500\nDot3.x=3500\n"
                                  << "Dot0.y=400\nDot1.y=3600\nDot2.y=400\nDot3.y=3600\n";
    zorvan.signal(SIGUSR1);
    expectNext("reading resumed");
    expectNext("calibration: calibrated, 2x2 grid");
    sim.writeStdin("mode touch\n");
    expectNext("board mode: touch, no soft keys");

    zorvan.signal(SIGTERM);
    EXPECT_EQ(exitCode(zorvan.wait()), 0);
    const std::string settings = slurp(settingsFile());
    EXPECT_EQ(settings.find("ZorvanPid"), std::string::npos) << settings;
    EXPECT_NE(settings.find("DotCount=2"), std::string::npos) << settings;
    sim.signal(SIGTERM);
    sim.wait();
}

}  // namespace
}  // namespace zorvan
