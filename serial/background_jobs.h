#pragma once

#include <atomic>
#include <mutex>

#include "serial/kept_input.h"

namespace zorvan::serial {

// What a port's background reads and writes share with the port. The port
// and each job hold it, so a job that outlives its port (it was waiting when
// the last client let go) still has its locks and counters, while the port
// itself is held only for the moments a job needs it, never across a wait.
struct BackgroundJobs {
    // Held by a background read, or write, for its whole run: reads run one
    // after the other, and so do writes, also across a close and a new open.
    std::mutex readLock;
    std::mutex writeLock;
    std::atomic<bool> stopRead{false};
    std::atomic<bool> stopWrite{false};
    // Jobs asked for and not yet ended.
    std::atomic<int> reads{0};
    std::atomic<int> writes{0};
    // Input read past a line's end, for the next read of any kind; cleared
    // at open and close.
    KeptInput kept;
};

}  // namespace zorvan::serial
