#pragma once

#include <chrono>
#include <optional>

namespace zorvan {

using ReaderClock = std::chrono::steady_clock;

enum class WaitResult {
    Timeout,   // nothing happened before the deadline
    Readable,  // bytes may be read now
    Hangup,    // the device has gone or failed (POLLHUP, POLLERR, POLLNVAL without data)
    Woken,     // a wake-up or a signal came: the run flags may have changed
    Exited,    // the process behind exitFd has ended
};

// The reader's one wait: for input on fd (not watched when negative), a
// wake-up on wakeFd, SIGUSR1 or SIGUSR2, the end of the process of the pidfd
// exitFd (not watched when negative), or the deadline (none: no time-out).
// The caller keeps SIGUSR1 and SIGUSR2 blocked; the wait alone unblocks them,
// so a signal that comes after the caller read the flags still ends it. A
// wake-up is drained here. A run signal pending while the device was
// readable is taken before returning, so a stream of bytes cannot hold a
// pause off.
WaitResult waitForReader(int fd, int wakeFd, std::optional<ReaderClock::time_point> deadline,
                         int exitFd = -1);

}  // namespace zorvan
