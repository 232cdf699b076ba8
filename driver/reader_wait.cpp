#include "driver/reader_wait.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "driver/run_flags.h"

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

void drainWake(int wakeFd) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(wakeFd, &count, sizeof count);
}

}  // namespace

WaitResult waitForReader(int fd, int wakeFd, std::optional<ReaderClock::time_point> deadline,
                         int exitFd) {
    // The caller's mask without the two run signals.
    sigset_t during;
    pthread_sigmask(SIG_SETMASK, nullptr, &during);
    sigdelset(&during, SIGUSR1);
    sigdelset(&during, SIGUSR2);

    pollfd entries[3] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}, {exitFd, POLLIN, 0}};
    timespec timeout{};
    if (deadline) {
        timeout = remainingUntil(*deadline);
    }
    const int ready = ::ppoll(entries, 3, deadline ? &timeout : nullptr, &during);
    if (ready < 0) {
        if (errno == EINTR) {
            return WaitResult::Woken;
        }
        // A wait that cannot be made at all (out of memory): give it the
        // time of a turn, so that retrying never spins, and treat the device
        // like one that failed.
        const timespec turn{0, 5'000'000};
        ::nanosleep(&turn, nullptr);
        return WaitResult::Hangup;
    }
    if (ready == 0) {
        return WaitResult::Timeout;
    }
    const bool woken = (entries[1].revents & POLLIN) != 0;
    if (woken) {
        drainWake(wakeFd);
    }
    if (entries[0].revents & POLLIN) {
        // ppoll gives a signal its turn only when nothing is ready.
        takePendingRunSignals();
        return WaitResult::Readable;
    }
    if (entries[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        return WaitResult::Hangup;
    }
    if (!woken && (entries[2].revents & POLLIN) != 0) {
        return WaitResult::Exited;
    }
    return WaitResult::Woken;
}

}  // namespace zorvan
