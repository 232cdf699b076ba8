#include "app/status_follower.h"

#include <QTimer>
#include <utility>

#include "app/main_window.h"

namespace zorvan::app {

namespace {
// Quick enough to feel immediate, rare enough to cost nothing.
constexpr int kRefreshMs = 200;
}  // namespace

StatusFollower::StatusFollower(std::function<BoardStatusSnapshot()> read, std::string devicePath,
                               MainWindow& window, LogWriter log, QObject* parent)
    : QObject(parent),
      read_(std::move(read)),
      devicePath_(std::move(devicePath)),
      window_(window),
      log_(std::move(log)),
      timer_(new QTimer(this)) {
    connect(timer_, &QTimer::timeout, this, &StatusFollower::refresh);
    timer_->start(kRefreshMs);
    refresh();
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
