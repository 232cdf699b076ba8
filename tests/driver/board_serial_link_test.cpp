#include "driver/board_serial_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tests/driver/pty_pair.h"

namespace zorvan {
namespace {

using namespace std::chrono_literals;

std::string contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        text += static_cast<char>(c);
    }
    return text;
}

termios attributesOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios attributes{};
    ::tcgetattr(fd, &attributes);
    ::close(fd);
    return attributes;
}

void setAttributes(const std::string& path, const termios& attributes) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ::tcsetattr(fd, TCSANOW, &attributes);
    ::close(fd);
}

class BoardSerialLinkTest : public ::testing::Test {
  protected:
    test::PtyPair pty;
    std::FILE* messages = std::tmpfile();
    BoardSerialLink link{messages};
    void TearDown() override { std::fclose(messages); }
};

TEST_F(BoardSerialLinkTest, EveryOpenAppliesTheSameRawSettings) {
    termios cooked = attributesOf(pty.slavePath());
    termios odd = cooked;
    odd.c_cflag |= PARENB | CSTOPB | CRTSCTS;
    odd.c_iflag |= IXON | IXOFF | ICRNL;
    odd.c_cc[VMIN] = 4;
    for (const termios& before : {cooked, odd}) {
        setAttributes(pty.slavePath(), before);
        const termios found = attributesOf(pty.slavePath());  // the pty drops what it lacks
        const int fd = link.InitSerialPort(pty.slavePath().c_str());
        ASSERT_GE(fd, 0);
        termios t{};
        ASSERT_EQ(::tcgetattr(fd, &t), 0);
        EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B19200));
        EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B19200));
        EXPECT_EQ(t.c_iflag, 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG), 0u);
        EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(t.c_cflag & (CSTOPB | PARENB | CRTSCTS), 0u);
        EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 5);
        EXPECT_EQ(::fcntl(fd, F_GETFL) & (O_ACCMODE | O_NONBLOCK), O_RDWR | O_NONBLOCK);
        link.CloseSerialPort(fd);
        // The attributes found at open are back after the close.
        const termios after = attributesOf(pty.slavePath());
        EXPECT_EQ(after.c_lflag, found.c_lflag);
        EXPECT_EQ(after.c_cflag, found.c_cflag);
        EXPECT_EQ(after.c_iflag, found.c_iflag);
    }
    EXPECT_EQ(contents(messages), "");
}

TEST_F(BoardSerialLinkTest, HandshakeGoesOnTheWire) {
    const int fd = link.InitSerialPort(pty.slavePath().c_str());
    ASSERT_GE(fd, 0);
    link.WriteData(fd);
    const auto wire = pty.read(9, 200ms);
    EXPECT_EQ(wire, (std::vector<std::uint8_t>{0xCE, 0, 0, 0, 0, 0, 0, 0}));
    link.CloseSerialPort(fd);
}

TEST_F(BoardSerialLinkTest, FailedOpenPausesAndSaysNothing) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.InitSerialPort("/nonexistent/tty.SLAB_USBtoUART"), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 490ms);
    EXPECT_EQ(link.lastOpenError(), ENOENT);
    EXPECT_EQ(contents(messages), "");
}

TEST_F(BoardSerialLinkTest, CloseOfAVanishedDeviceReportsBothStepsAndCloses) {
    const int fd = link.InitSerialPort(pty.slavePath().c_str());
    ASSERT_GE(fd, 0);
    pty.closeMaster();
    link.CloseSerialPort(fd);
    EXPECT_EQ(contents(messages),
              "Error waiting for drain - Input/output error(5).\n"
              "Error resetting tty attributes - Input/output error(5).\n");
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);  // closed all the same
}

}  // namespace
}  // namespace zorvan
