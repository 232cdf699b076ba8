#include "app/status_words.h"

#include <QCoreApplication>

namespace zorvan::app {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("StatusPanel", text);
}

QString boardLine(const BoardStatusSnapshot& s) {
    using Board = BoardStatusSnapshot::Board;
    using Mode = BoardStatus::Mode;
    switch (s.board) {
        case Board::Connected:
            switch (s.mode) {
                case Mode::Pen:
                case Mode::PenKeys:
                    return tr("Board connected (pen)");
                case Mode::Touch:
                case Mode::TouchKeys:
                    return tr("Board connected (touch)");
                case Mode::Unknown:
                    break;
            }
            return tr("Board connected");
        case Board::Paused:
            return tr("Paused while the calibration tool runs");
        case Board::Unplugged:
            return tr("Board unplugged — plug it in again");
        case Board::Waiting:
            break;
    }
    return tr("Waiting for the board — is it plugged in?");
}

bool isGridForm(const BoardStatusSnapshot& s) {
    return (s.gridColumns == 2 && s.gridRows == 2) || (s.gridColumns == 3 && s.gridRows == 3) ||
           (s.gridColumns == 5 && s.gridRows == 4);
}

}  // namespace

QString calibrationOrigin(const BoardStatusSnapshot& s) {
    // The account's own calibration goes without saying; the log names the
    // machine-wide file's path.
    return s.calibrationOrigin == CalibrationOrigin::MachineWide
               ? tr("machine-wide, for every account")
               : QString();
}

PlainStatus plainStatus(const BoardStatusSnapshot& s, const CalibrationFacts& facts) {
    using Board = BoardStatusSnapshot::Board;
    using Calibration = BoardStatus::Calibration;
    PlainStatus p;
    p.board = boardLine(s);
    switch (s.board) {
        case Board::Connected:
            p.look = TrayLook::Connected;
            break;
        case Board::Paused:
            p.look = TrayLook::Paused;
            break;
        case Board::Unplugged:
            p.look = TrayLook::Unplugged;
            break;
        case Board::Waiting:
            p.look = TrayLook::Waiting;
            break;
    }

    if (s.calibration == Calibration::NotLoaded) {
        p.calibration = tr("The calibration is read once the board is connected");
    } else if (s.calibration == Calibration::BuiltIn) {
        p.calibration = tr("Not calibrated — Calibrate…");
        p.offerCalibration = true;
    } else if (!isGridForm(s)) {
        p.calibration = tr("The saved calibration cannot be used — Calibrate…");
        p.offerCalibration = true;
    } else if (!s.calibrationUsable) {
        p.calibration = tr("The calibration does not fit the board — Calibrate…");
        p.offerCalibration = true;
    } else {
        const QString grid = QStringLiteral("%1×%2").arg(s.gridColumns).arg(s.gridRows);
        // Hours and minutes: the C locale's short format carries seconds.
        const QString at = facts.calibratedAt.isValid()
                               ? facts.calibratedAt.toString(QStringLiteral("HH:mm"))
                               : QString();
        if (!facts.screen.isEmpty() && !at.isEmpty()) {
            p.calibration = tr("Calibrated %1 on %2 at %3").arg(grid, facts.screen, at);
        } else if (!facts.screen.isEmpty()) {
            p.calibration = tr("Calibrated %1 on %2").arg(grid, facts.screen);
        } else if (!at.isEmpty()) {
            p.calibration = tr("Calibrated %1 at %2").arg(grid, at);
        } else {
            p.calibration = tr("Calibrated %1").arg(grid);
        }
        const QString origin = calibrationOrigin(s);
        if (!origin.isEmpty()) {
            p.calibration += QStringLiteral(" (%1)").arg(origin);
        }
    }
    p.toolTip = QStringLiteral("Zorvan\n%1\n%2").arg(p.board, p.calibration);
    return p;
}

}  // namespace zorvan::app
