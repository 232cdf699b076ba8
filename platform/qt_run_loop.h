#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>

#include "serial/run_loop.h"

namespace zorvan {

// The serial library's RunLoop over Qt's event loop: the loop's thread is the
// thread that creates the object (the GUI thread in an application), and
// tasks and callbacks run from that thread's event loop. Other threads never
// call into Qt: they queue their tasks here and wake the loop through an
// eventfd, which the loop's thread watches. Destroy it on that thread; tasks
// and watches not yet run are dropped with it.
class QtRunLoop final : public serial::RunLoop {
  public:
    // Throws std::system_error when the wake-up descriptor can't be made.
    QtRunLoop();
    ~QtRunLoop() override;
    QtRunLoop(const QtRunLoop&) = delete;
    QtRunLoop& operator=(const QtRunLoop&) = delete;

    void post(Task task) override;
    void postAfter(std::chrono::milliseconds delay, Task task) override;
    WatchId watchReadable(int fd, Task onReadable) override;
    void unwatch(WatchId id) override;

  private:
    bool onLoopThread() const;
    void runPosted();
    void startWatch(WatchId id, int fd, Task onReadable);

    int wakeFd_ = -1;
    QObject context_;
    QSocketNotifier* wakeNotifier_ = nullptr;  // child of context_
    std::atomic<WatchId> nextWatch_{1};
    std::mutex mutex_;
    std::deque<Task> posted_;
    // Touched on the loop's thread only once made; nullptr until then.
    std::map<WatchId, QSocketNotifier*> watches_;
};

}  // namespace zorvan
