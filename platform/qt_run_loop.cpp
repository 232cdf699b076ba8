#include "platform/qt_run_loop.h"

#include <QThread>
#include <QTimer>
#include <utility>

namespace zorvan {

QtRunLoop::QtRunLoop() = default;

QtRunLoop::~QtRunLoop() = default;

bool QtRunLoop::onLoopThread() const {
    return QThread::currentThread() == context_.thread();
}

void QtRunLoop::post(Task task) {
    QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
}

void QtRunLoop::postAfter(std::chrono::milliseconds delay, Task task) {
    if (delay.count() <= 0) {
        post(std::move(task));
        return;
    }
    // A timer starts on the thread of its context object: hand it over.
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
    QPointer<QSocketNotifier> notifier;
    {
        std::lock_guard lock(mutex_);
        const auto it = watches_.find(id);
        if (it == watches_.end()) {
            return;
        }
        notifier = it->second;
        watches_.erase(it);
    }
    if (notifier.isNull()) {
        return;
    }
    // The notifier belongs to the loop's thread, and may be the one whose
    // callback is running: disable it there and let Qt delete it later.
    auto end = [notifier] {
        if (!notifier.isNull()) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    };
    if (onLoopThread()) {
        end();
    } else {
        post(std::move(end));
    }
}

}  // namespace zorvan
