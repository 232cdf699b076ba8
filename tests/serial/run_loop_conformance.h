#pragma once

// What every RunLoop must do, run against each implementation. A Driver
// makes the loop and spins it on the test's thread:
//   RunLoop& loop();
//   void spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/run_loop.h"

namespace zorvan::test {

using namespace std::chrono_literals;

template <class Driver>
class RunLoopConformance : public ::testing::Test {
  protected:
    serial::RunLoop& loop() { return driver.loop(); }
    void spinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
        driver.spinUntil(done, limit);
    }
    void spinFor(std::chrono::milliseconds d) {
        driver.spinUntil([] { return false; }, d);
    }

    Driver driver;
};

TYPED_TEST_SUITE_P(RunLoopConformance);

// An eventfd that tests make readable and drain.
class Readable {
  public:
    Readable() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Readable() { ::close(fd_); }
    int fd() const { return fd_; }
    void signal() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
    }
    void drain() const {
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t n = ::read(fd_, &value, sizeof value);
    }

  private:
    int fd_;
};

TYPED_TEST_P(RunLoopConformance, TasksRunLaterOnTheLoopThreadInOrder) {
    std::vector<int> order;
    const auto loopThread = std::this_thread::get_id();
    bool elsewhere = false;
    for (int i = 0; i < 5; ++i) {
        this->loop().post([&, i] {
            order.push_back(i);
            elsewhere |= std::this_thread::get_id() != loopThread;
        });
    }
    // A task posted by a task runs after those already waiting.
    this->loop().post([&] { this->loop().post([&] { order.push_back(6); }); });
    this->loop().post([&] { order.push_back(5); });
    EXPECT_TRUE(order.empty()) << "never inside post";
    this->spinUntil([&] { return order.size() == 7; });
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(elsewhere);
}

TYPED_TEST_P(RunLoopConformance, TasksFromOtherThreadsRunOnTheLoopThreadInTheirOrder) {
    constexpr int kThreads = 4;
    constexpr int kTasks = 200;
    const auto loopThread = std::this_thread::get_id();
    std::vector<std::vector<int>> seen(kThreads);
    std::atomic<int> elsewhere{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kTasks; ++i) {
                this->loop().post([&, t, i] {
                    seen[t].push_back(i);
                    elsewhere += std::this_thread::get_id() != loopThread ? 1 : 0;
                });
            }
        });
    }
    this->spinUntil([&] {
        std::size_t total = 0;
        for (const auto& s : seen) {
            total += s.size();
        }
        return total == kThreads * kTasks;
    });
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& s : seen) {
        ASSERT_EQ(s.size(), static_cast<std::size_t>(kTasks));
        EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));
    }
    EXPECT_EQ(elsewhere.load(), 0);
}

TYPED_TEST_P(RunLoopConformance, DelayedTasksRunByDueTimeAndNeverEarly) {
    using Clock = std::chrono::steady_clock;
    std::mutex mutex;
    std::vector<int> order;
    int early = 0;
    const auto record = [&](int delayMs) {
        const auto due = Clock::now() + std::chrono::milliseconds(delayMs);
        return [&, delayMs, due] {
            std::lock_guard lock(mutex);
            order.push_back(delayMs);
            early += Clock::now() < due ? 1 : 0;
        };
    };
    // From another thread too; its task is checked for time, not place, as
    // the thread may start late.
    std::thread other([&] { this->loop().postAfter(20ms, record(20)); });
    other.join();
    for (const int delayMs : {150, 50, 0, 100}) {
        this->loop().postAfter(std::chrono::milliseconds(delayMs), record(delayMs));
    }
    this->spinUntil([&] {
        std::lock_guard lock(mutex);
        return order.size() == 5;
    });
    std::lock_guard lock(mutex);
    std::erase(order, 20);
    EXPECT_EQ(order, (std::vector<int>{0, 50, 100, 150}));
    EXPECT_EQ(early, 0);
}

TYPED_TEST_P(RunLoopConformance, WatchCallsBackWhileReadableUntilUnwatched) {
    Readable readable;
    int calls = 0;
    bool drain = true;
    const auto id = this->loop().watchReadable(readable.fd(), [&] {
        ++calls;
        if (drain) {
            readable.drain();
        }
    });
    EXPECT_NE(id, 0u);
    this->spinFor(30ms);
    EXPECT_EQ(calls, 0) << "not readable yet";

    readable.signal();
    this->spinUntil([&] { return calls == 1; });
    this->spinFor(30ms);
    EXPECT_EQ(calls, 1) << "consumed: no more calls";

    drain = false;  // level-triggered: called again while still readable
    readable.signal();
    this->spinUntil([&] { return calls >= 4; });
    EXPECT_GE(calls, 4);

    this->loop().unwatch(id);
    const int atUnwatch = calls;
    this->spinFor(30ms);
    EXPECT_EQ(calls, atUnwatch);
    this->loop().unwatch(id);  // twice: ignored
}

TYPED_TEST_P(RunLoopConformance, UnwatchInsideTheCallbackEndsIt) {
    Readable readable;
    int calls = 0;
    typename serial::RunLoop::WatchId id = 0;
    id = this->loop().watchReadable(readable.fd(), [&] {
        ++calls;
        this->loop().unwatch(id);  // left readable on purpose
    });
    readable.signal();
    this->spinUntil([&] { return calls > 0; });
    this->spinFor(30ms);
    EXPECT_EQ(calls, 1);
}

TYPED_TEST_P(RunLoopConformance, WatchesFromAnotherThread) {
    Readable first;
    Readable second;
    std::atomic<int> firstCalls{0};
    std::atomic<int> secondCalls{0};
    std::thread other([&] {
        this->loop().watchReadable(first.fd(), [&] {
            ++firstCalls;
            first.drain();
        });
        // Ended before the loop ever ran: never called.
        const auto id = this->loop().watchReadable(second.fd(), [&] { ++secondCalls; });
        this->loop().unwatch(id);
    });
    other.join();
    first.signal();
    second.signal();
    this->spinUntil([&] { return firstCalls.load() == 1; });
    this->spinFor(30ms);
    EXPECT_EQ(firstCalls.load(), 1);
    EXPECT_EQ(secondCalls.load(), 0);
}

TYPED_TEST_P(RunLoopConformance, HangUpCountsAsReadable) {
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    bool called = false;
    const auto id = this->loop().watchReadable(pipeFds[0], [&] { called = true; });
    ::close(pipeFds[1]);
    this->spinUntil([&] { return called; });
    EXPECT_TRUE(called);
    this->loop().unwatch(id);
    ::close(pipeFds[0]);
}

REGISTER_TYPED_TEST_SUITE_P(RunLoopConformance, TasksRunLaterOnTheLoopThreadInOrder,
                            TasksFromOtherThreadsRunOnTheLoopThreadInTheirOrder,
                            DelayedTasksRunByDueTimeAndNeverEarly,
                            WatchCallsBackWhileReadableUntilUnwatched,
                            UnwatchInsideTheCallbackEndsIt, WatchesFromAnotherThread,
                            HangUpCountsAsReadable);

}  // namespace zorvan::test
