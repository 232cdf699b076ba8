#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

#include "tests/driver/subprocess.h"

namespace zorvan {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::Subprocess;

TEST(ZorvanWithBoardSim, PacketsArriveAndTheSilentBoardGetsTheHandshake) {
    // The script comes on stdin, which stays open: the simulator keeps running.
    Subprocess sim({Subprocess::binary("zorvan-board-sim")});
    ASSERT_TRUE(sim.started());
    const auto path = sim.readLine(5s);
    ASSERT_TRUE(path && path->rfind("/dev/", 0) == 0);
    sim.writeStdin("mode touch\nhold 100 200 2\n");

    Subprocess zorvan({Subprocess::binary("zorvan"), "--device", *path, "--log-stdout"});
    ASSERT_TRUE(zorvan.started());
    EXPECT_EQ(zorvan.waitForLine("packet", 5s), "packet C8 CC FF FF FF FF FF FB");
    EXPECT_EQ(zorvan.readLine(2s), "packet EE 00 51 03 08 01 24 00");
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

TEST(ZorvanWithBoardSim, AMissingBoardIsToldOnStderr) {
    Subprocess zorvan({Subprocess::binary("zorvan"), "--device", "/nonexistent/ttyBoard"});
    EXPECT_EQ(zorvan.waitForLine("zorvan:", 5s, true),
              "zorvan: cannot open /nonexistent/ttyBoard: No such file or directory");
    zorvan.signal(SIGTERM);
    zorvan.wait();
}

TEST(ZorvanWithBoardSim, HelpNamesEveryOption) {
    Subprocess zorvan({Subprocess::binary("zorvan"), "--help"});
    std::string help;
    while (const auto line = zorvan.readLine(5s)) {
        help += *line + "\n";
    }
    EXPECT_EQ(zorvan.wait(), 0);
    for (const char* option : {"--device <PATH>", "--log-stdout", "--help", "--version"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace zorvan
