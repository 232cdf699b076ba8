#include "driver/board_serial_link.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "driver/board_open_failure.h"
#include "driver/errno_text.h"

namespace zorvan {

BoardSerialLink::BoardSerialLink(std::FILE* closeMessages, Locking locking)
    : closeMessages_(closeMessages),
      locking_(locking),
      gOriginalTTYAttrs(std::make_unique<struct termios>()) {}

BoardSerialLink::~BoardSerialLink() = default;

int BoardSerialLink::InitSerialPort(const char* path) {
    // O_NOCTTY: a driver running as session leader would otherwise adopt the
    // board as its controlling terminal and get SIGHUP when it is unplugged.
    // O_CLOEXEC: a program started from here must not keep the board, or
    // its lock, once the driver has ended.
    const int fd = ::open(path, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return failOpen(errno == ENOTTY || errno == EISDIR ? kNotASerialDevice : errno);
    }
    // /dev/null or a plain file opens like a board but can never be one: it
    // is refused before its settings are touched.
    if (!::isatty(fd)) {
        ::close(fd);
        return failOpen(kNotASerialDevice);
    }
    if (locking_ == Locking::TakeLock && !lockBoard(fd, lockHolder_)) {
        ::close(fd);
        lastOpenError_ = kBoardLocked;
        return -1;
    }
    lastOpenError_ = 0;

    // A failure here is not examined: the descriptor is used in any case.
    ::tcgetattr(fd, gOriginalTTYAttrs.get());

    // Built from zero so that every open yields the same settings, whatever
    // the device held before.
    struct termios options {};
    ::cfsetispeed(&options, B19200);
    ::cfsetospeed(&options, B19200);
    options.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    options.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ISIG);
    options.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | CRTSCTS);
    options.c_cflag |= CS8 | CREAD | CLOCAL;
    options.c_cc[VMIN] = 0;
    options.c_cc[VTIME] = 5;
    ::tcsetattr(fd, TCSANOW, &options);
    // What the board sent while nobody read it (strokes made while the
    // driver was away, presses meant for a calibration) is stale: read now,
    // it would replay as clicks.
    discardInput(fd);
    return fd;
}

void BoardSerialLink::discardInput(int fd) {
    ::tcflush(fd, TCIFLUSH);
}

int BoardSerialLink::failOpen(int error) {
    lastOpenError_ = error;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return -1;
}

void BoardSerialLink::WriteData(int fd) {
    [[maybe_unused]] const ssize_t written = ::write(fd, connect_buf.data(), connect_buf.size());
}

void BoardSerialLink::CloseSerialPort(int fd) {
    if (::tcdrain(fd) == -1) {
        const int error = errno;
        std::fprintf(closeMessages_, "Error waiting for drain - %s(%d).\n",
                     errnoText(error).c_str(), error);
    }
    if (::tcsetattr(fd, TCSANOW, gOriginalTTYAttrs.get()) == -1) {
        const int error = errno;
        std::fprintf(closeMessages_, "Error resetting tty attributes - %s(%d).\n",
                     errnoText(error).c_str(), error);
    }
    std::fflush(closeMessages_);
    // Never retried: after EINTR the descriptor is gone on Linux.
    ::close(fd);
}

}  // namespace zorvan
