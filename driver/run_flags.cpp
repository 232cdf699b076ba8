#include "driver/run_flags.h"

#include <pthread.h>
#include <signal.h>

namespace zorvan {

namespace {
// Constant-initialised, so the handlers may touch it at any time.
constinit RunFlags gRunFlags;
}  // namespace

RunFlags& processRunFlags() {
    return gRunFlags;
}

void resumeReading(RunFlags& flags) {
    flags.bGet.store(true, std::memory_order_relaxed);
    flags.bNeedReadPara.store(true, std::memory_order_relaxed);
    flags.bRun.store(true, std::memory_order_relaxed);
}

void sigusr1_handler(int /*signalNumber*/) {
    resumeReading(gRunFlags);
}

void sigusr2_handler(int /*signalNumber*/) {
    gRunFlags.bRun.store(false, std::memory_order_relaxed);
}

bool installRunSignalHandlers() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    // SA_RESTART keeps other threads' plain reads and writes from failing
    // with EINTR; the reader's own waits handle EINTR themselves.
    action.sa_flags = SA_RESTART;
    action.sa_handler = sigusr1_handler;
    const bool usr1 = sigaction(SIGUSR1, &action, nullptr) == 0;
    action.sa_handler = sigusr2_handler;
    const bool usr2 = sigaction(SIGUSR2, &action, nullptr) == 0;
    return usr1 && usr2;
}

sigset_t runSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGUSR2);
    return set;
}

void blockRunSignals() {
    const sigset_t set = runSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void takePendingRunSignals() {
    sigset_t pending;
    if (sigpending(&pending) != 0 ||
        (sigismember(&pending, SIGUSR1) != 1 && sigismember(&pending, SIGUSR2) != 1)) {
        return;
    }
    const timespec now{0, 0};
    for (const int signalNumber : {SIGUSR2, SIGUSR1}) {
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signalNumber);
        if (sigtimedwait(&one, nullptr, &now) == signalNumber) {
            signalNumber == SIGUSR1 ? sigusr1_handler(signalNumber) : sigusr2_handler(signalNumber);
        }
    }
}

}  // namespace zorvan
