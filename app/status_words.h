#pragma once

#include <QString>
#include <QTime>

#include "driver/board_status.h"

namespace zorvan::app {

// The tray icon's look: one per state of the board.
enum class TrayLook { Waiting, Connected, Paused, Unplugged };

// The board's status in the teacher's words, for the status panel and the
// tray. The driver's own terms stay in the log.
struct PlainStatus {
    QString board;                  // "Board connected (pen)"
    QString calibration;            // "Calibrated 3×3 on DUMMY1 at 14:02"
    bool offerCalibration = false;  // the calibration line ends in "Calibrate…": show the button
    TrayLook look = TrayLook::Waiting;
    QString toolTip;  // both lines, for the tray
    friend bool operator==(const PlainStatus&, const PlainStatus&) = default;
};

// What the snapshot does not hold: the screen the board covers (empty: not
// known) and when the calibration in use was made, if this run saw it made.
struct CalibrationFacts {
    QString screen;
    QTime calibratedAt;  // invalid: not seen
};

PlainStatus plainStatus(const BoardStatusSnapshot& s, const CalibrationFacts& facts);

// Where the calibration in use comes from, as a remark after the
// calibration line ("" for the user's own file). The one place a
// machine-wide calibration is to be named.
QString calibrationOrigin(const BoardStatusSnapshot& s);

}  // namespace zorvan::app
