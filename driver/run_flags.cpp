#include "driver/run_flags.h"

#include <signal.h>

namespace zorvan {

namespace {
// Constant-initialised, so the handlers may touch it at any time.
constinit RunFlags gRunFlags;
}  // namespace

RunFlags& processRunFlags() {
    return gRunFlags;
}

void sigusr1_handler(int /*signalNumber*/) {
    gRunFlags.bGet.store(true, std::memory_order_relaxed);
    gRunFlags.bNeedReadPara.store(true, std::memory_order_relaxed);
    gRunFlags.bRun.store(true, std::memory_order_relaxed);
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

}  // namespace zorvan
