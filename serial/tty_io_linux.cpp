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

ReadResult readWhenReady(int fd, int nonBlockingFd, int wakeFd, void* into, std::size_t count,
                         long long timeoutMicros, bool tryFirst) {
    // A full buffer says more may be waiting; a full single byte says nothing.
    const auto filled = [count](ssize_t n) {
        return count > 1 && n > 0 && static_cast<std::size_t>(n) == count;
    };
    if (nonBlockingFd < 0) {
        const Wait wait = waitReadable(fd, wakeFd, timeoutMicros);
        if (wait != Wait::Ready) {
            return {wait};
        }
        const ssize_t n = readSome(fd, into, count);
        return {Wait::Ready, n, n < 0 ? errno : 0, filled(n)};
    }
    const auto start = Clock::now();
    bool waited = false;
    if (!tryFirst) {
        const Wait wait = waitReadable(nonBlockingFd, wakeFd, timeoutMicros);
        if (wait != Wait::Ready) {
            return {wait, 0, 0, false};
        }
        waited = true;
    }
    for (;; waited = true) {
        const ssize_t n = readSome(nonBlockingFd, into, count);
        // Before any wait, 0 is no end of file: a record with VMIN and VTIME
        // both 0 answers 0 for "nothing yet" even without O_NONBLOCK. A
        // device that has gone answers 0 again once the wait says so.
        if (n > 0 || (n == 0 && waited)) {
            return {Wait::Ready, n, 0, !waited || filled(n)};
        }
        if (n < 0 && errno != EAGAIN) {
            return {Wait::Ready, n, errno};
        }
        long long left = kNoLimit;
        if (timeoutMicros >= 0) {
            const auto spent =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
            left = timeoutMicros > spent ? timeoutMicros - spent : 0;
            if (left == 0 && waited) {
                return {Wait::TimedOut, 0, 0, false};
            }
        }
        const Wait wait = waitReadable(nonBlockingFd, wakeFd, left);
        if (wait != Wait::Ready) {
            return {wait, 0, 0, false};
        }
    }
}

ssize_t writeWhenReady(int fd, int nonBlockingFd, int wakeFd, const void* from, std::size_t count) {
    const int target = nonBlockingFd >= 0 ? nonBlockingFd : fd;
    if (nonBlockingFd < 0 && waitWritable(fd, wakeFd) != Wait::Ready) {
        errno = 0;
        return -1;
    }
    for (;;) {
        const ssize_t n = writeSome(target, from, count);
        if (n >= 0 || errno != EAGAIN) {
            return n;
        }
        if (waitWritable(target, wakeFd) != Wait::Ready) {
            errno = 0;
            return -1;
        }
    }
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
