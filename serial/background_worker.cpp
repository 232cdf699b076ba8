#include "serial/background_worker.h"

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
        Job job;
        {
            std::unique_lock lock(lock_);
            wake_.wait(lock, [&] { return !jobs_.empty() || retired_; });
            if (jobs_.empty()) {
                return;  // retired, and nothing left to do
            }
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

}  // namespace zorvan::serial
