#include "app/status_follower.h"

#include <QMetaObject>
#include <utility>

namespace zorvan::app {

StatusFollower::StatusFollower(Sources sources, QObject* parent)
    : QObject(parent), sources_(std::move(sources)) {
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

void StatusFollower::refreshAll() {
    first_ = true;
    refresh();
}

void StatusFollower::refresh() {
    const BoardStatusSnapshot now = sources_.read();
    if (!first_ && now == shown_) {
        return;
    }
    if (!first_ && sources_.log) {
        for (const std::string& line : statusChangeLines(shown_, now)) {
            sources_.log(line);
        }
    }
    // A grid that replaces another one loaded in this run was just made (the
    // calibration tool saves, then has it loaded); the first one loaded was
    // made at some time before.
    if (now.calibration == BoardStatus::Calibration::Stored &&
        shown_.calibration != BoardStatus::Calibration::NotLoaded &&
        now.gridFingerprint != shown_.gridFingerprint) {
        calibratedAt_ = QTime::currentTime();
    }
    first_ = false;
    shown_ = now;
    CalibrationFacts facts;
    facts.calibratedAt = calibratedAt_;
    if (sources_.boardScreen) {
        facts.screen = QString::fromStdString(sources_.boardScreen());
    }
    if (sources_.present) {
        sources_.present(plainStatus(now, facts));
    }
}

}  // namespace zorvan::app
