#pragma once

#include <signal.h>

#include <atomic>
#include <cstdint>

namespace zorvan {

// The flags through which the signal handlers, the main thread and the reader
// thread steer one another. Each is written with single stores of constants
// (or of the descriptor) and read afresh by the reader every turn; no other
// data is published through them, so relaxed ordering would do.
struct RunFlags {
    // Reading enabled; 0 pauses the reader (it keeps the board open).
    std::atomic<bool> bRun{true};
    // Reader run state: 0 not yet opened, > 0 running with this descriptor,
    // -1 no reader (the open failed or the board was removed).
    std::atomic<std::int32_t> iRun{0};
    // A calibration load is pending for the next silence of the board.
    std::atomic<bool> bNeedReadPara{true};
    // The stored calibration is considered usable.
    std::atomic<bool> bGet{true};

    static_assert(std::atomic<bool>::is_always_lock_free);
    static_assert(std::atomic<std::int32_t>::is_always_lock_free);
};

// The one instance of the process, the one the signal handlers store into.
RunFlags& processRunFlags();

// What SIGUSR1 does: the stored calibration is usable again and loaded at
// the next silence, and reading resumes. Stores bGet, bNeedReadPara, bRun = 1,
// in that order. Safe in a signal handler.
void resumeReading(RunFlags& flags);

// SIGUSR1 (from the calibration tool): resumeReading() on the process's flags.
void sigusr1_handler(int signalNumber);
// SIGUSR2 (from the calibration tool): pause reading. Stores bRun = 0.
void sigusr2_handler(int signalNumber);

// Installs both handlers with sigaction. Returns false if either failed.
bool installRunSignalHandlers();

// SIGUSR1 and SIGUSR2 reach the driver only where the reader waits for them:
// every other thread keeps them blocked, so that the kernel hands them to the
// reader, whose wait is the only place that unblocks them. A program blocks
// them in its first thread before it starts any other (threads inherit it).
void blockRunSignals();
// The set of the two.
sigset_t runSignalSet();
// Runs the handler of each of the two signals pending while nobody waited for
// them (no reader, or the reader busy), on the calling thread, which must
// block them: SIGUSR2 first, then SIGUSR1, as the calibration tool always
// resumes after it paused.
void takePendingRunSignals();

}  // namespace zorvan
