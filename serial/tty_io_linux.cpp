#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

#include "serial/tty_io.h"

namespace zorvan::serial::tty {
namespace {

using Clock = std::chrono::steady_clock;

Wait waitFor(int fd, short events, int wakeFd, long long timeoutMicros) {
    if (fd < 0) {
        return Wait::Failed;
    }
    const auto start = Clock::now();
    // A limit that would carry the end past the clock's last instant is none.
    const bool limited = timeoutMicros >= 0 &&
                         timeoutMicros <= std::chrono::duration_cast<std::chrono::microseconds>(
                                              Clock::time_point::max() - start)
                                              .count();
    const auto end = limited ? start + std::chrono::microseconds(timeoutMicros) : start;
    for (;;) {
        pollfd entries[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        timespec limit{};
        timespec* limitPtr = nullptr;
        if (limited) {
            const auto left =
                std::chrono::duration_cast<std::chrono::nanoseconds>(end - Clock::now());
            const long long ns = left.count() > 0 ? left.count() : 0;
            limit.tv_sec = static_cast<time_t>(ns / 1000000000);
            limit.tv_nsec = static_cast<long>(ns % 1000000000);
            limitPtr = &limit;
        }
        const int n = ::ppoll(entries, wakeFd >= 0 ? 2 : 1, limitPtr, nullptr);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Wait::Failed;
        }
        if (n == 0) {
            return Wait::TimedOut;
        }
        if ((entries[1].revents & POLLIN) != 0) {
            return Wait::Woken;
        }
        if ((entries[0].revents & POLLNVAL) != 0) {
            return Wait::Failed;
        }
        return Wait::Ready;
    }
}

}  // namespace

Wait waitReadable(int fd, int wakeFd, long long timeoutMicros) {
    return waitFor(fd, POLLIN, wakeFd, timeoutMicros);
}

Wait waitWritable(int fd, int wakeFd) {
    return waitFor(fd, POLLOUT, wakeFd, kNoLimit);
}

ssize_t readSome(int fd, void* into, std::size_t count) {
    ssize_t n = 0;
    do {
        n = ::read(fd, into, count);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t writeSome(int fd, const void* from, std::size_t count) {
    ssize_t n = 0;
    do {
        n = ::write(fd, from, count);
    } while (n < 0 && errno == EINTR);
    return n;
}

int bytesWaiting(int fd) {
    int count = 0;
    return ::ioctl(fd, FIONREAD, &count) < 0 ? -1 : count;
}

int makeWakeDescriptor() {
    return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

void fireWakeDescriptor(int wakeFd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
}

int duplicate(int fd) {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

void closeDescriptor(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

}  // namespace zorvan::serial::tty
