#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "serial/tty_device.h"

namespace zorvan::serial::tty {
namespace {

int result(int rc) {
    return rc < 0 ? errno : 0;
}

}  // namespace

int openDevice(const std::string& path) {
    // O_NONBLOCK only for the open itself: a port whose CLOCAL is off would
    // otherwise wait, possibly forever, for carrier detect.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return -errno;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
        const int error = errno;
        ::close(fd);
        return -error;
    }
    return fd;
}

int setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return result(flags < 0 ? flags : ::fcntl(fd, F_SETFL, flags | O_NONBLOCK));
}

int drain(int fd) {
    return result(::tcdrain(fd));
}

int flush(int fd, bool input, bool output) {
    // TCIFLUSH is 0 on Linux, so "neither queue" can't be passed on as 0.
    if (!input && !output) {
        return EINVAL;
    }
    const int queue = input && output ? TCIOFLUSH : (output ? TCOFLUSH : TCIFLUSH);
    return result(::tcflush(fd, queue));
}

int sendBreak(int fd) {
    return result(::tcsendbreak(fd, 0));
}

int setDTR(int fd, bool on) {
    const int line = TIOCM_DTR;
    return result(::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line));
}

}  // namespace zorvan::serial::tty
