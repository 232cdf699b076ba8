#include "serial/plain_run_loop.h"

#include <errno.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <climits>
#include <system_error>
#include <utility>
#include <vector>

namespace zorvan::serial {

PlainRunLoop::PlainRunLoop() {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

PlainRunLoop::~PlainRunLoop() {
    ::close(wakeFd_);
}

void PlainRunLoop::post(Task task) {
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        first = posted_.empty();
        posted_.push_back(std::move(task));
    }
    // A queue that held tasks already has its wake-up on the way, or is
    // seen before the loop next sleeps: one write per batch, not per task.
    if (first) {
        wake();
    }
}

void PlainRunLoop::postAfter(std::chrono::milliseconds delay, Task task) {
    if (delay.count() <= 0) {
        post(std::move(task));
        return;
    }
    {
        std::lock_guard lock(mutex_);
        delayed_.emplace(Clock::now() + delay, std::move(task));
    }
    wake();
}

RunLoop::WatchId PlainRunLoop::watchReadable(int fd, Task onReadable) {
    WatchId id = 0;
    {
        std::lock_guard lock(mutex_);
        id = nextWatch_++;
        watches_.emplace(id, Watch{fd, std::make_shared<Task>(std::move(onReadable))});
    }
    wake();
    return id;
}

void PlainRunLoop::unwatch(WatchId id) {
    std::lock_guard lock(mutex_);
    watches_.erase(id);
}

void PlainRunLoop::run() {
    runUntil(Clock::time_point::max(), false);
}

bool PlainRunLoop::runFor(std::chrono::milliseconds duration) {
    return runUntil(Clock::now() + duration, true);
}

void PlainRunLoop::quit() {
    quit_.store(true);
    wake();
}

void PlainRunLoop::wake() {
    const std::uint64_t one = 1;
    // A full counter (never in practice) still leaves the loop woken.
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

void PlainRunLoop::drainWake() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
}

// Runs the tasks posted before this pass and the delayed tasks due now; the
// ones these post wait for the next pass, so watches are never starved.
// Answers false when quit() was called meanwhile.
bool PlainRunLoop::runDueTasks() {
    std::size_t count = 0;
    {
        std::lock_guard lock(mutex_);
        count = posted_.size();
    }
    for (; count > 0; --count) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            task = std::move(posted_.front());
            posted_.pop_front();
        }
        task();
        if (quit_.load()) {
            return false;
        }
    }
    const auto now = Clock::now();
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (delayed_.empty() || delayed_.begin()->first > now) {
                break;
            }
            task = std::move(delayed_.begin()->second);
            delayed_.erase(delayed_.begin());
        }
        task();
        if (quit_.load()) {
            return false;
        }
    }
    return true;
}

bool PlainRunLoop::runUntil(Clock::time_point end, bool bounded) {
    const CurrentScope current(weak_from_this());
    std::vector<pollfd> fds;
    std::vector<WatchId> ids;
    for (;;) {
        if (quit_.exchange(false) || !runDueTasks()) {
            quit_.store(false);
            return true;
        }
        const auto now = Clock::now();
        if (bounded && now >= end) {
            return false;
        }
        auto deadline = bounded ? end : Clock::time_point::max();
        fds.assign(1, pollfd{wakeFd_, POLLIN, 0});
        ids.assign(1, 0);
        {
            std::lock_guard lock(mutex_);
            if (!posted_.empty()) {
                deadline = now;
            } else if (!delayed_.empty() && delayed_.begin()->first < deadline) {
                deadline = delayed_.begin()->first;
            }
            for (const auto& [id, watch] : watches_) {
                fds.push_back(pollfd{watch.fd, POLLIN, 0});
                ids.push_back(id);
            }
        }
        int timeoutMs = -1;
        if (deadline != Clock::time_point::max()) {
            // Rounded up, so that the loop never wakes just before a due time
            // and spins until it comes.
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
            timeoutMs = static_cast<int>(std::min<long long>(wait.count(), INT_MAX));
            timeoutMs = std::max(timeoutMs, 0);
        }
        if (::poll(fds.data(), fds.size(), timeoutMs) < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (fds[0].revents != 0) {
            drainWake();
        }
        for (std::size_t i = 1; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            std::shared_ptr<Task> onReadable;
            {
                std::lock_guard lock(mutex_);
                const auto it = watches_.find(ids[i]);
                if (it == watches_.end()) {
                    continue;
                }
                if ((fds[i].revents & POLLNVAL) != 0) {
                    watches_.erase(it);
                    continue;
                }
                onReadable = it->second.onReadable;
            }
            (*onReadable)();
            if (quit_.load()) {
                break;
            }
        }
    }
}

}  // namespace zorvan::serial
