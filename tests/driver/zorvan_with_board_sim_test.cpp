#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/driver/subprocess.h"

namespace zorvan {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Subprocess;

// Each test gets a settings folder of its own: the driver publishes its pid
// in the settings file, which must not be the user's.
class ZorvanWithBoardSim : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zorvan-shell-XXXXXX";
        config_ = ::mkdtemp(pattern);
        ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(config_); }

    std::string config_;
};

TEST_F(ZorvanWithBoardSim, EventsArriveAndTheSilentBoardGetsTheHandshake) {
    // The script comes on stdin, which stays open: the simulator keeps running.
    Subprocess sim({Subprocess::binary("zorvan-board-sim")});
    ASSERT_TRUE(sim.started());
    const auto path = sim.readLine(5s);
    ASSERT_TRUE(path && path->rfind("/dev/", 0) == 0);
    // Three downs are dropped, the fourth presses, the fifth drags.
    sim.writeStdin("mode pen\nhold 2000 2000 5\n");

    Subprocess zorvan({Subprocess::binary("zorvan"), "--device", *path, "--pointer", "log"});
    ASSERT_TRUE(zorvan.started());
    EXPECT_TRUE(zorvan.waitForLine("left-down ", 5s));
    EXPECT_TRUE(zorvan.waitForLine("left-drag ", 2s));
    EXPECT_TRUE(zorvan.waitForLine("left-up ", 2s));
    const auto lastPacket = Clock::now();
    EXPECT_EQ(sim.waitForLine("rx", 6s), "rx CE 00 00 00 00 00 00 00");
    EXPECT_GE(Clock::now() - lastPacket, 1400ms);

    // SIGTERM quits through the event loop, which stops the reader first.
    zorvan.signal(SIGTERM);
    const int status = zorvan.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    sim.signal(SIGTERM);
    EXPECT_TRUE(WIFEXITED(sim.wait()));
}

TEST_F(ZorvanWithBoardSim, AMissingBoardIsToldOnStderr) {
    Subprocess zorvan({Subprocess::binary("zorvan"), "--device", "/nonexistent/ttyBoard"});
    EXPECT_EQ(zorvan.waitForLine("zorvan: cannot open", 5s, true),
              "zorvan: cannot open /nonexistent/ttyBoard: No such file or directory");
    zorvan.signal(SIGTERM);
    zorvan.wait();
}

TEST_F(ZorvanWithBoardSim, ClosedStandardDescriptorsAreReopenedOnDevNull) {
    // Started with stdin, stdout and stderr closed, as by a careless launcher:
    // its lines on stderr must not land in a descriptor of its own.
    Subprocess zorvan({Subprocess::binary("zorvan"), "--device", "/nonexistent/ttyBoard"},
                      Subprocess::Standard::Closed);
    ASSERT_TRUE(zorvan.started());
    std::this_thread::sleep_for(1500ms);  // the failed open has been told on stderr
    ASSERT_TRUE(zorvan.running());
    const std::string fds = "/proc/" + std::to_string(zorvan.pid()) + "/fd/";
    for (const char* fd : {"0", "1", "2"}) {
        EXPECT_EQ(std::filesystem::read_symlink(fds + fd), "/dev/null") << "fd " << fd;
    }
    zorvan.signal(SIGTERM);
    const int status = zorvan.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(ZorvanWithBoardSim, HelpNamesEveryOption) {
    Subprocess zorvan({Subprocess::binary("zorvan"), "--help"});
    std::string help;
    while (const auto line = zorvan.readLine(5s)) {
        help += *line + "\n";
    }
    EXPECT_EQ(zorvan.wait(), 0);
    for (const char* option : {"--device <PATH>", "--pointer <BACKEND>", "--pointer-log <FILE>",
                               "--log-stdout", "--help", "--version"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace zorvan
