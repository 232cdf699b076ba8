#pragma once

#include <chrono>

namespace zorvan {

using ReaderClock = std::chrono::steady_clock;

enum class WaitResult {
    Timeout,   // nothing happened before the deadline
    Readable,  // bytes may be read now
    Hangup,    // the device has gone or failed (POLLHUP, POLLERR, POLLNVAL)
};

// Waits until fd is readable, reports a hang-up, or the deadline passes.
// A signal that interrupts the wait does not end it early.
WaitResult waitForInput(int fd, ReaderClock::time_point deadline);

// Sleeps until the deadline, through interrupting signals.
void sleepUntil(ReaderClock::time_point deadline);

}  // namespace zorvan
