#include "serial/background_worker.h"

#include <chrono>
#include <utility>

namespace zorvan::serial {

std::shared_ptr<BackgroundWorker> BackgroundWorker::start() {
    std::shared_ptr<BackgroundWorker> worker(new BackgroundWorker);
    // Detached: the thread owns its hold on the worker and ends by itself.
    std::thread([worker] { worker->serve(); }).detach();
    return worker;
}

BackgroundWorker::~BackgroundWorker() = default;

bool BackgroundWorker::submit(Job job) {
    {
        std::lock_guard lock(lock_);
        if (retired_) {
            return false;
        }
        jobs_.push_back(std::move(job));
        pending_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_one();
    return true;
}

void BackgroundWorker::retire() {
    {
        std::lock_guard lock(lock_);
        retired_ = true;
    }
    wake_.notify_one();
}

void BackgroundWorker::serve() {
    for (;;) {
        // A client that streams (a delegate asking for the next chunk in its
        // report) hands in the next job within microseconds: looking for it
        // a moment before sleeping saves a sleep and a wake-up per chunk.
        const auto spinEnd = std::chrono::steady_clock::now() + kSpin;
        while (pending_.load(std::memory_order_acquire) == 0 &&
               std::chrono::steady_clock::now() < spinEnd) {
            std::this_thread::yield();
        }
        Job job;
        {
            std::unique_lock lock(lock_);
            wake_.wait(lock, [&] { return !jobs_.empty() || retired_; });
            if (jobs_.empty()) {
                return;  // retired, and nothing left to do
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
            pending_.fetch_sub(1, std::memory_order_relaxed);
        }
        job();
    }
}

}  // namespace zorvan::serial
