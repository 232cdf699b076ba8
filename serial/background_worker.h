#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zorvan::serial {

// One long-lived thread that runs jobs one after the other, in the order they
// were handed in. A port keeps one for its background reads and one for its
// background writes, so a stream of chunks costs no thread per chunk.
//
// The thread holds the worker, not the other way round: retire() lets it end
// once the jobs handed in before are done, without waiting for it, so it may
// be called anywhere, a job of this worker included. A job is destroyed as
// soon as it has run, so whatever it holds is let go before the next one.
class BackgroundWorker {
  public:
    using Job = std::function<void()>;

    // Starts the thread; throws std::system_error when it can't be made.
    static std::shared_ptr<BackgroundWorker> start();
    ~BackgroundWorker();
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    // Any thread. false, dropping job, once the worker is retired.
    bool submit(Job job);
    // Any thread. Ends the thread after the jobs already handed in.
    void retire();

  private:
    BackgroundWorker() = default;
    void serve();

    static constexpr std::chrono::microseconds kSpin{100};

    std::mutex lock_;
    std::atomic<int> pending_{0};  // jobs_.size(), for the look before sleeping
    std::condition_variable wake_;
    std::deque<Job> jobs_;  // under lock_
    bool retired_ = false;  // under lock_
};

}  // namespace zorvan::serial
