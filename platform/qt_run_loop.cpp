#include "platform/qt_run_loop.h"

#include <errno.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QThread>
#include <QTimer>
#include <cstdint>
#include <system_error>
#include <utility>

namespace zorvan {

QtRunLoop::QtRunLoop() : wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (wakeFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    wakeNotifier_ =
        new QSocketNotifier(static_cast<qintptr>(wakeFd_), QSocketNotifier::Read, &context_);
    QObject::connect(wakeNotifier_, &QSocketNotifier::activated, &context_,
                     [this] { runPosted(); });
}

QtRunLoop::~QtRunLoop() {
    delete wakeNotifier_;  // before its descriptor goes
    ::close(wakeFd_);
}

bool QtRunLoop::onLoopThread() const {
    return QThread::currentThread() == context_.thread();
}

void QtRunLoop::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(task));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

// Runs the tasks waiting now; those they post wait for the next wake-up, so
// Qt's other events are never starved.
void QtRunLoop::runPosted() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);
    std::size_t waiting = 0;
    {
        std::lock_guard lock(mutex_);
        waiting = posted_.size();
    }
    for (; waiting > 0; --waiting) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            task = std::move(posted_.front());
            posted_.pop_front();
        }
        task();
    }
}

void QtRunLoop::postAfter(std::chrono::milliseconds delay, Task task) {
    if (delay.count() <= 0) {
        post(std::move(task));
        return;
    }
    auto start = [this, delay, task = std::move(task)]() mutable {
        QTimer::singleShot(delay, Qt::PreciseTimer, &context_, std::move(task));
    };
    if (onLoopThread()) {
        start();
    } else {
        post(std::move(start));
    }
}

serial::RunLoop::WatchId QtRunLoop::watchReadable(int fd, Task onReadable) {
    const WatchId id = nextWatch_.fetch_add(1);
    {
        std::lock_guard lock(mutex_);
        watches_.emplace(id, nullptr);
    }
    if (onLoopThread()) {
        startWatch(id, fd, std::move(onReadable));
    } else {
        post([this, id, fd, onReadable = std::move(onReadable)]() mutable {
            startWatch(id, fd, std::move(onReadable));
        });
    }
    return id;
}

void QtRunLoop::startWatch(WatchId id, int fd, Task onReadable) {
    std::lock_guard lock(mutex_);
    const auto it = watches_.find(id);
    if (it == watches_.end()) {
        return;  // unwatched before it started
    }
    auto* notifier =
        new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, &context_);
    QObject::connect(notifier, &QSocketNotifier::activated, &context_,
                     [this, id, onReadable = std::move(onReadable)] {
                         {
                             std::lock_guard lock(mutex_);
                             if (watches_.count(id) == 0) {
                                 return;
                             }
                         }
                         onReadable();
                     });
    it->second = notifier;
}

void QtRunLoop::unwatch(WatchId id) {
    QSocketNotifier* notifier = nullptr;
    {
        std::lock_guard lock(mutex_);
        const auto it = watches_.find(id);
        if (it == watches_.end()) {
            return;
        }
        notifier = it->second;
        watches_.erase(it);
    }
    if (notifier == nullptr) {
        return;
    }
    // The notifier may be the one whose callback is running: disable it and
    // let Qt delete it once that is over, on the loop's thread.
    auto end = [notifier] {
        notifier->setEnabled(false);
        notifier->deleteLater();
    };
    if (onLoopThread()) {
        end();
    } else {
        post(std::move(end));
    }
}

}  // namespace zorvan
