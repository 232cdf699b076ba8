#pragma once

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <atomic>
#include <map>
#include <mutex>

#include "serial/run_loop.h"

namespace zorvan {

// The serial library's RunLoop over Qt's event loop: the loop's thread is the
// thread that creates the object (the GUI thread in an application), and
// tasks and callbacks run from that thread's event loop. Destroy it on that
// thread; tasks and watches not yet run are dropped with it.
class QtRunLoop final : public serial::RunLoop {
  public:
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
    void startWatch(WatchId id, int fd, Task onReadable);

    QObject context_;
    std::atomic<WatchId> nextWatch_{1};
    std::mutex mutex_;
    // nullptr while the notifier is still to be made on the loop's thread.
    std::map<WatchId, QPointer<QSocketNotifier>> watches_;
};

}  // namespace zorvan
