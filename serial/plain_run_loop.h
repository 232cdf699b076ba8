#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "run_loop.h"

namespace zorvan::serial {

// @addtogroup runloops
// @{

// A RunLoop over poll(): the thread that calls run() or runFor() is the
// loop's thread while the call lasts. Tasks run in the order posted; delayed
// tasks in the order of their due time (posting order among equal times). A
// task that throws ends run()/runFor() with that exception; the rest stay
// queued. A watched descriptor that is closed without unwatch (poll answers
// POLLNVAL) is dropped from the watch list instead of waking the loop forever.
class PlainRunLoop final : public RunLoop {
  public:
    // Throws std::system_error when the wake-up descriptor can't be made.
    PlainRunLoop();
    ~PlainRunLoop() override;
    PlainRunLoop(const PlainRunLoop&) = delete;
    PlainRunLoop& operator=(const PlainRunLoop&) = delete;

    void post(Task task) override;
    void postAfter(std::chrono::milliseconds delay, Task task) override;
    WatchId watchReadable(int fd, Task onReadable) override;
    void unwatch(WatchId id) override;

    // Runs tasks and callbacks until quit() is called.
    void run();
    // Runs tasks and callbacks for duration, or until quit() is called first;
    // answers whether quit() ended it. Sleeps in poll() while idle.
    bool runFor(std::chrono::milliseconds duration);
    // Any thread: ends the running (or the next) run()/runFor() after the task
    // or callback in progress.
    void quit();

  private:
    using Clock = std::chrono::steady_clock;
    struct Watch {
        int fd;
        std::shared_ptr<Task> onReadable;
    };

    bool runUntil(Clock::time_point end, bool bounded);
    void wake();
    void drainWake();
    bool runDueTasks();

    int wakeFd_ = -1;
    std::atomic<bool> quit_{false};
    std::mutex mutex_;
    std::deque<Task> posted_;
    std::multimap<Clock::time_point, Task> delayed_;
    std::map<WatchId, Watch> watches_;
    WatchId nextWatch_ = 1;
};

// @}

}  // namespace zorvan::serial
