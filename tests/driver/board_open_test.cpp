// The board's open as a user meets it: what is refused, the one-driver lock,
// and the words for each failure.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver/board_lock.h"
#include "driver/board_open_failure.h"
#include "driver/board_serial_link.h"
#include "tests/driver/pty_pair.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;

std::string ownCommandName() {
    std::ifstream in("/proc/self/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

TEST(BoardOpen, SomethingThatIsNoTerminalIsRefusedUntouched) {
    const fs::path dir = fs::temp_directory_path() / ("zorvan-notty-" + std::to_string(::getpid()));
    fs::create_directories(dir / "folder");
    std::ofstream(dir / "file") << "not a board";
    std::FILE* messages = std::tmpfile();
    BoardSerialLink link(messages);
    for (const fs::path& path : {fs::path("/dev/null"), dir / "file", dir / "folder"}) {
        EXPECT_EQ(link.InitSerialPort(path.c_str()), -1) << path;
        EXPECT_EQ(link.lastOpenError(), kNotASerialDevice) << path;
    }
    EXPECT_EQ(std::ftell(messages), 0);  // nothing was opened, so nothing to close
    std::fclose(messages);
    fs::remove_all(dir);
}

TEST(BoardOpen, OneLinkPerBoardWhileOthersStillOpenIt) {
    test::PtyPair pty;
    std::FILE* messages = std::tmpfile();
    BoardSerialLink first(messages);
    BoardSerialLink second(messages);

    const int fd = first.InitSerialPort(pty.slavePath().c_str());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(second.InitSerialPort(pty.slavePath().c_str()), -1);
    EXPECT_EQ(second.lastOpenError(), kBoardLocked);
    ASSERT_TRUE(second.lockHolder().has_value());
    EXPECT_EQ(second.lockHolder()->pid, ::getpid());
    EXPECT_EQ(second.lockHolder()->program, ownCommandName());

    // The calibration tool opens the board as a plain terminal, lock or not.
    const int tool = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(tool, 0);
    ::close(tool);

    // The lock goes with the holder's descriptor.
    first.CloseSerialPort(fd);
    const int again = second.InitSerialPort(pty.slavePath().c_str());
    EXPECT_GE(again, 0);
    second.CloseSerialPort(again);
    std::fclose(messages);
}

TEST(BoardOpen, LockHolderIsFoundInProcLocks) {
    const std::string locks =
        "1: POSIX  ADVISORY  WRITE 700 00:1a:4 0 EOF\n"
        "2: FLOCK  ADVISORY  WRITE 41 00:06:90 0 EOF\n"
        "2: -> FLOCK  ADVISORY  WRITE 99 00:1a:4 0 EOF\n"
        "3: FLOCK  ADVISORY  WRITE 1234 00:1a:4 0 EOF\n"
        "4: FLOCK  ADVISORY  WRITE 55 fd:01:4 0 EOF\n"
        "garbage\n";
    struct Case {
        unsigned major, minor;
        unsigned long ino;
        std::optional<pid_t> holder;
    };
    const Case cases[] = {
        {0x00, 0x1a, 4, 1234},  // the waiter (->) and the POSIX lock are passed over
        {0x00, 0x06, 90, 41},   // another inode, another holder
        {0xfd, 0x01, 4, 55},    // the device numbers are hexadecimal
        {0x00, 0x1a, 5, std::nullopt}, {0x01, 0x1a, 4, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseFlockHolder(locks, c.major, c.minor, c.ino), c.holder)
            << c.major << ":" << c.minor << ":" << c.ino;
    }
}

TEST(BoardOpen, EachFailureSaysWhatToDo) {
    const std::string p = "/dev/tty.SLAB_USBtoUART";
    struct Case {
        int error;
        std::optional<BoardLockHolder> holder;
        std::string text;
    };
    const Case cases[] = {
        {kNotASerialDevice, {}, p + " is not a serial device"},
        {EISDIR, {}, p + " is not a serial device"},
        {ENOENT,
         {},
         "waiting for the board at " + p +
             ": no such device yet (plug the board in, or name its port with --device)"},
        {EACCES,
         {},
         "cannot open " + p +
             ": Permission denied; install the udev rule 60-zorvan.rules and replug "
             "the board, or add your user to the dialout group (sudo usermod -aG "
             "dialout $USER) and log in again"},
        {EIO, {}, "cannot open " + p + ": Input/output error"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(openFailureText(p, c.error), c.text) << c.error;
    }

    const Case locks[] = {
        {kBoardLocked, BoardLockHolder{812, "zorvan"},
         "another zorvan (pid 812) is already reading " + p},
        {kBoardLocked, BoardLockHolder{812, ""},
         "another zorvan (pid 812) is already reading " + p},
        {kBoardLocked, std::nullopt, "another zorvan is already reading " + p},
        {kBoardLocked, BoardLockHolder{9, "picocom"},
         "picocom (pid 9) has locked " + p + " for itself; end it to let zorvan read the board"},
    };
    for (const Case& c : locks) {
        EXPECT_EQ(lockConflictText(p, c.holder), c.text);
    }
}

}  // namespace
}  // namespace zorvan
