#include "app/status_follower.h"

#include <QMetaObject>
#include <utility>

#include "app/main_window.h"

namespace zorvan::app {

StatusFollower::StatusFollower(std::function<BoardStatusSnapshot()> read, std::string devicePath,
                               MainWindow& window, LogWriter log, QObject* parent)
    : QObject(parent),
      read_(std::move(read)),
      devicePath_(std::move(devicePath)),
      window_(window),
      log_(std::move(log)) {
    refresh();
}

void StatusFollower::changed() {
    if (lookQueued_.exchange(true)) {
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            // Cleared before the look, so a change during it asks for another.
            lookQueued_.store(false);
            refresh();
        },
        Qt::QueuedConnection);
}

void StatusFollower::refresh() {
    const BoardStatusSnapshot now = read_();
    if (!first_ && now == shown_) {
        return;
    }
    if (!first_ && log_) {
        for (const std::string& line : statusChangeLines(shown_, now)) {
            log_(line);
        }
    }
    first_ = false;
    shown_ = now;
    window_.showStatus(QString::fromStdString(boardText(now, devicePath_)),
                       QString::fromStdString(modeText(now)),
                       QString::fromStdString(calibrationText(now)));
}

}  // namespace zorvan::app
