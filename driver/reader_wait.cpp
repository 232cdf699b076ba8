#include "driver/reader_wait.h"

#include <poll.h>
#include <time.h>

#include <cerrno>

namespace zorvan {

namespace {
timespec remainingUntil(ReaderClock::time_point deadline) {
    const auto left = deadline - ReaderClock::now();
    if (left <= ReaderClock::duration::zero()) {
        return timespec{0, 0};
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}
}  // namespace

WaitResult waitForInput(int fd, ReaderClock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, POLLIN, 0};
        const timespec timeout = remainingUntil(deadline);
        const int ready = ::ppoll(&entry, 1, &timeout, nullptr);
        if (ready > 0) {
            if (entry.revents & POLLIN) {
                return WaitResult::Readable;
            }
            return WaitResult::Hangup;
        }
        if (ready == 0) {
            return WaitResult::Timeout;
        }
        if (errno != EINTR) {
            // A wait that cannot be made at all is treated like a device
            // that failed: the caller sleeps out its turn.
            return WaitResult::Hangup;
        }
        if (ReaderClock::now() >= deadline) {
            return WaitResult::Timeout;
        }
    }
}

void sleepUntil(ReaderClock::time_point deadline) {
    for (;;) {
        const timespec left = remainingUntil(deadline);
        if (left.tv_sec == 0 && left.tv_nsec == 0) {
            return;
        }
        if (::nanosleep(&left, nullptr) == 0) {
            return;
        }
    }
}

}  // namespace zorvan
