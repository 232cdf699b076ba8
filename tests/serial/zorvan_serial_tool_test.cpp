#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/driver/subprocess.h"
#include "tests/serial/serial_test_support.h"

namespace zorvan::test {
namespace {

using namespace std::chrono_literals;

struct RawPty : PtyPair {
    RawPty() {
        termios t = deviceSettings(*this);
        ::cfmakeraw(&t);
        setDeviceSettings(*this, t);
        // The tool must not hold the master too, or closing it here hangs up nothing.
        ::fcntl(master(), F_SETFD, FD_CLOEXEC);
    }
};

int exitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ZorvanSerialToolTest, Read) {
    const struct {
        const char* name;
        std::vector<std::string> options;
        std::vector<std::uint8_t> input;
        std::optional<std::string> out;
        std::string err;
        int exit;
    } cases[] = {
        {"count",
         {"--bytes", "4"},
         {'a', 'b', 'c', '\n', 'd'},
         "abc",
         "code=0 bytesRead=4 endCode=2",
         0},
        {"stop character",
         {"--until", "\\n"},
         {'h', 'i', '\n'},
         "hi",
         "code=0 bytesRead=3 endCode=1",
         0},
        {"Mac OS Roman text",
         {"--until", "0x0A", "--encoding", "30"},
         {0x8E, '\n'},
         "\u00e9",
         "code=0 bytesRead=2 endCode=1",
         0},
        {"silence", {"--timeout", "0.2"}, {}, std::nullopt, "code=100 bytesRead=0", 1},
        {"bad option",
         {"--parity", "maybe"},
         {},
         std::nullopt,
         "zorvan-serial read: --parity takes none, odd or even, not \"maybe\" (see zorvan-serial "
         "--help)",
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawPty pty;
        pty.write(c.input);
        std::vector<std::string> argv = {Subprocess::binary("zorvan-serial"), "read",
                                         pty.slavePath()};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        Subprocess tool(argv);
        ASSERT_TRUE(tool.started());
        EXPECT_EQ(exitCode(tool.wait()), c.exit);
        EXPECT_EQ(tool.readLine(2s, true), c.err);
        EXPECT_EQ(tool.readLine(2s), c.out);
    }
}

TEST(ZorvanSerialToolTest, TermCarriesBothWaysAndPutsTheSettingsBack) {
    RawPty pty;
    const termios before = deviceSettings(pty);
    Subprocess tool(
        {Subprocess::binary("zorvan-serial"), "term", pty.slavePath(), "--speed", "57600"});
    ASSERT_TRUE(tool.started());
    pty.write({'f', 'r', 'o', 'm', ' ', 'b', 'o', 'a', 'r', 'd', '\n'});
    EXPECT_EQ(tool.readLine(5s), "from board");
    tool.writeStdin("typed");
    const auto typed = pty.read(5, 5s);
    EXPECT_EQ(std::string(typed.begin(), typed.end()), "typed");
    const termios during = deviceSettings(pty);
    EXPECT_EQ(::cfgetospeed(&during), B57600);
    tool.writeStdin("!\x1dnot sent");  // Ctrl-] quits
    EXPECT_EQ(exitCode(tool.wait()), 0);
    EXPECT_EQ(pty.read(1, 200ms), std::vector<std::uint8_t>{'!'});
    EXPECT_TRUE(pty.read(1, 200ms).empty());
    EXPECT_TRUE(sameSettings(deviceSettings(pty), before));
}

TEST(ZorvanSerialToolTest, TermEndsWithStdinOrTheDevice) {
    {
        RawPty pty;
        Subprocess tool({Subprocess::binary("zorvan-serial"), "term", pty.slavePath()});
        tool.writeStdin("last words");
        tool.closeStdin();
        EXPECT_EQ(exitCode(tool.wait()), 0);
        const auto got = pty.read(10, 2s);
        EXPECT_EQ(std::string(got.begin(), got.end()), "last words");
    }
    {
        RawPty pty;
        Subprocess tool({Subprocess::binary("zorvan-serial"), "term", pty.slavePath()});
        pty.write({'x', '\n'});
        EXPECT_EQ(tool.readLine(5s), "x");
        pty.closeMaster();
        EXPECT_EQ(exitCode(tool.wait()), 1);
    }
}

}  // namespace
}  // namespace zorvan::test
