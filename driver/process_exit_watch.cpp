#include "driver/process_exit_watch.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace zorvan {

ProcessExitWatch::ProcessExitWatch(std::int64_t pid, Mode mode) : pid_(pid) {
    if (pid_ <= 0 || pid_ > std::numeric_limits<pid_t>::max()) {
        pid_ = 0;
        return;
    }
    if (mode == Mode::Pidfd) {
        // Close-on-exec by design of pidfd_open.
        fd_ = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid_), 0u));
        if (fd_ < 0 && errno == ESRCH) {
            ended_ = true;
        }
    }
}

ProcessExitWatch::ProcessExitWatch(ProcessExitWatch&& other) noexcept
    : pid_(other.pid_), fd_(other.fd_), ended_(other.ended_) {
    other.fd_ = -1;
    other.pid_ = 0;
}

ProcessExitWatch::~ProcessExitWatch() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool ProcessExitWatch::hasEnded() {
    if (pid_ <= 0 || ended_) {
        return ended_;
    }
    if (fd_ >= 0) {
        pollfd entry{fd_, POLLIN, 0};
        ended_ = ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
    } else {
        // Without a pidfd: gone when no process answers to the pid (a reused
        // pid goes unnoticed; the pause then waits for a resume as before).
        ended_ = ::kill(static_cast<pid_t>(pid_), 0) != 0 && errno == ESRCH;
    }
    return ended_;
}

}  // namespace zorvan
