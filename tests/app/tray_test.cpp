// The real zorvan on a private Xvfb, with a system tray (trayer) and without
// one: closing the window as a window manager does never stops the board;
// SIGTERM and Quit do.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/driver/subprocess.h"
#include "tests/support/child_process.h"
#include "tests/support/x_desktop.h"
#include "tests/support/xvfb_display.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Subprocess;

int exitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class Tray : public ::testing::Test {
  protected:
    void SetUp() override {
        xvfb_ = std::make_unique<test::XvfbDisplay>(1024, 768);
        if (!xvfb_->ok()) {
            GTEST_SKIP() << xvfb_->why();
        }
        for (const char* name :
             {"WAYLAND_DISPLAY", "QT_LOGGING_RULES", "DBUS_SESSION_BUS_ADDRESS"}) {
            ::unsetenv(name);
        }
        ::setenv("DISPLAY", xvfb_->name().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        char pattern[] = "/tmp/zorvan-tray-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        config_ = pattern;
        ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
        desktop_ = std::make_unique<test::XDesktop>(xvfb_->name());
        ASSERT_TRUE(desktop_->ok());
    }
    void TearDown() override {
        desktop_.reset();
        tray_.reset();
        if (!config_.empty()) {
            fs::remove_all(config_);
        }
    }

    // trayer, a stand-alone panel that holds the system tray.
    void startTray() {
        tray_ = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{"/usr/bin/trayer", "--edge", "bottom", "--align", "right",
                                     "--widthtype", "request", "--height", "32"},
            std::map<std::string, std::string>{{"DISPLAY", xvfb_->name()}}, false);
        for (int i = 0; i < 100 && !desktop_->trayPresent(); ++i) {
            std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(desktop_->trayPresent());
    }

    std::unique_ptr<test::XvfbDisplay> xvfb_;
    std::unique_ptr<test::XDesktop> desktop_;
    std::unique_ptr<test::ChildProcess> tray_;
    fs::path config_;
};

TEST_F(Tray, ClosingTheWindowKeepsTheBoardWorkingAndOnlyQuitOrSigtermEndsIt) {
    if (!fs::exists("/usr/bin/trayer")) {
        GTEST_SKIP() << "trayer is not installed (scripts/setup-deps.sh test)";
    }
    enum class End { Sigterm, WindowMenuQuit, TrayMenuQuit };
    struct Case {
        const char* what;
        bool tray;
        End end;
        std::string closed;  // the log line closing the window gives
    };
    const Case cases[] = {
        {"tray, SIGTERM", true, End::Sigterm, "window closed: hidden"},
        {"tray, Quit in the tray's menu", true, End::TrayMenuQuit, "window closed: hidden"},
        {"no tray, Quit in the window's menu", false, End::WindowMenuQuit,
         "window closed: minimised"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.tray) {
            ASSERT_NO_FATAL_FAILURE(startTray());
        } else {
            tray_.reset();
        }
        Subprocess sim({Subprocess::binary("zorvan-board-sim")});
        const auto path = sim.readLine(5s);
        ASSERT_TRUE(path && path->rfind("/dev/", 0) == 0);
        Subprocess zorvan(
            {Subprocess::binary("zorvan"), "--device", *path, "--pointer", "log", "--log-stdout"});
        ASSERT_TRUE(zorvan.waitForLine("board connected at ", 10s));
        const unsigned long window = desktop_->findWindow("Zorvan", 10s);
        ASSERT_NE(window, 0u);

        desktop_->sendDeleteWindow(window);
        const auto closed = zorvan.waitForLine("window closed: ", 5s);
        ASSERT_TRUE(closed);
        EXPECT_EQ(closed->rfind(c.closed, 0), 0u) << *closed;
        if (c.tray) {
            std::this_thread::sleep_for(300ms);
            EXPECT_FALSE(desktop_->isMapped(window));
        }

        // Still reading: the handshake comes at each silence, and a stroke
        // still moves the pointer.
        ASSERT_TRUE(sim.waitForLine("rx CE 00 00 00 00 00 00 00", 5s));
        ASSERT_TRUE(sim.waitForLine("rx CE 00 00 00 00 00 00 00", 5s));
        sim.writeStdin("mode pen\nstroke 500 400 3500 3600 5\n");
        EXPECT_TRUE(zorvan.waitForLine("left-down ", 5s));
        EXPECT_TRUE(zorvan.waitForLine("left-up ", 5s));
        EXPECT_TRUE(zorvan.running());

        switch (c.end) {
            case End::Sigterm:
                zorvan.signal(SIGTERM);
                break;
            case End::WindowMenuQuit: {
                // The Board menu's title, top left of the window; its Quit
                // item by its key.
                const auto origin = desktop_->origin(window);
                ASSERT_TRUE(origin);
                desktop_->click(origin->first + 20, origin->second + 10, 1);
                std::this_thread::sleep_for(500ms);
                desktop_->typeKey("q");
                break;
            }
            case End::TrayMenuQuit: {
                const unsigned long icon = desktop_->findTrayIcon(5s);
                ASSERT_NE(icon, 0u);
                const auto origin = desktop_->origin(icon);
                ASSERT_TRUE(origin);
                desktop_->click(origin->first + 4, origin->second + 4, 3);
                std::this_thread::sleep_for(500ms);
                desktop_->typeKey("q");
                break;
            }
        }
        bool ended = false;
        for (int i = 0; i < 100 && !ended; ++i) {
            ended = !zorvan.running();
            std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(ended);
        EXPECT_EQ(exitCode(zorvan.wait()), 0);
        sim.signal(SIGTERM);
        sim.wait();
    }
}

}  // namespace
}  // namespace zorvan
