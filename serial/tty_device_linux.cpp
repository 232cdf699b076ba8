#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <utility>

#include "serial/modem_lines.h"
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

int reopenNonBlocking(int fd) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int copy = ::open(self.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    return copy < 0 ? -errno : copy;
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

namespace {

struct LineBit {
    unsigned line;
    int bit;
};

constexpr LineBit kLineBits[] = {
    {VXModemLineDTR, TIOCM_DTR}, {VXModemLineRTS, TIOCM_RTS}, {VXModemLineCTS, TIOCM_CTS},
    {VXModemLineDSR, TIOCM_DSR}, {VXModemLineDCD, TIOCM_CAR}, {VXModemLineRI, TIOCM_RNG},
};

int toKernel(unsigned lines) {
    int bits = 0;
    for (const LineBit& b : kLineBits) {
        bits |= (lines & b.line) != 0 ? b.bit : 0;
    }
    return bits;
}

unsigned fromKernel(int bits) {
    unsigned lines = 0;
    for (const LineBit& b : kLineBits) {
        lines |= (bits & b.bit) != 0 ? b.line : 0u;
    }
    return lines;
}

class SystemDeviceControl final : public DeviceControl {
  public:
    int modemLines(int fd, unsigned& lines) override {
        int bits = 0;
        if (::ioctl(fd, TIOCMGET, &bits) < 0) {
            return errno;
        }
        lines = fromKernel(bits);
        return 0;
    }
    int setModemLines(int fd, unsigned lines, bool on) override {
        const int bits = toKernel(lines);
        return result(::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits));
    }
    int lineChangeCounts(int fd, LineChangeCounts& counts) override {
        serial_icounter_struct icount{};
        if (::ioctl(fd, TIOCGICOUNT, &icount) < 0) {
            return errno;
        }
        counts = {static_cast<std::uint32_t>(icount.cts), static_cast<std::uint32_t>(icount.dsr),
                  static_cast<std::uint32_t>(icount.dcd), static_cast<std::uint32_t>(icount.rng)};
        return 0;
    }
    int setExclusive(int fd, bool on) override {
        return result(::ioctl(fd, on ? TIOCEXCL : TIOCNXCL));
    }
    int setBreak(int fd, bool on) override { return result(::ioctl(fd, on ? TIOCSBRK : TIOCCBRK)); }
    int outputQueue(int fd, int& bytes) override { return result(::ioctl(fd, TIOCOUTQ, &bytes)); }
};

std::mutex controlLock;
std::shared_ptr<DeviceControl> current;  // under controlLock; nullptr: the system's

}  // namespace

std::shared_ptr<DeviceControl> deviceControl() {
    static const auto system = std::make_shared<SystemDeviceControl>();
    std::lock_guard lock(controlLock);
    return current ? current : system;
}

void useDeviceControl(std::shared_ptr<DeviceControl> control) {
    std::lock_guard lock(controlLock);
    current = std::move(control);
}

}  // namespace zorvan::serial::tty
