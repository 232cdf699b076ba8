#include "driver/board_status.h"

namespace zorvan {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}  // namespace

void BoardStatus::publishMode(bool touch, bool softKeys) {
    const Mode m =
        touch ? (softKeys ? Mode::TouchKeys : Mode::Touch) : (softKeys ? Mode::PenKeys : Mode::Pen);
    if (mode.exchange(m, kRelaxed) != m && onChange) {
        onChange();
    }
}

void BoardStatus::publishCalibration(bool stored, std::int32_t columns, std::int32_t rows,
                                     std::uint64_t fingerprint, CalibrationOrigin from) {
    gridColumns.store(columns, kRelaxed);
    gridFingerprint.store(fingerprint, kRelaxed);
    origin.store(stored ? from : CalibrationOrigin::None, kRelaxed);
    gridRows.store(rows, kRelaxed);
    calibration.store(stored ? Calibration::Stored : Calibration::BuiltIn,
                      std::memory_order_release);
    if (onChange) {
        onChange();
    }
}

void BoardStatus::publishBoardOpen(bool open) {
    if (open) {
        boardSeen.store(true, kRelaxed);
    } else {
        // The next board (or the same one plugged in again) reports its own
        // mode; until then none is known.
        mode.store(Mode::Unknown, kRelaxed);
    }
}

BoardStatusSnapshot takeSnapshot(const RunFlags& flags, const BoardStatus& status) {
    BoardStatusSnapshot s;
    if (flags.iRun.load(kRelaxed) > 0) {
        s.board = flags.bRun.load(kRelaxed) ? BoardStatusSnapshot::Board::Connected
                                            : BoardStatusSnapshot::Board::Paused;
        s.mode = status.mode.load(kRelaxed);
    } else if (status.boardSeen.load(kRelaxed)) {
        s.board = BoardStatusSnapshot::Board::Unplugged;
    }
    s.calibration = status.calibration.load(std::memory_order_acquire);
    if (s.calibration != BoardStatus::Calibration::NotLoaded) {
        s.gridColumns = status.gridColumns.load(kRelaxed);
        s.gridRows = status.gridRows.load(kRelaxed);
        s.calibrationOrigin = status.origin.load(kRelaxed);
        s.gridFingerprint = status.gridFingerprint.load(kRelaxed);
    }
    if (s.calibration == BoardStatus::Calibration::Stored) {
        s.calibrationUsable = flags.bGet.load(kRelaxed);
    }
    return s;
}

std::string boardText(const BoardStatusSnapshot& s, const std::string& path) {
    switch (s.board) {
        case BoardStatusSnapshot::Board::Connected:
            return "board connected at " + path;
        case BoardStatusSnapshot::Board::Paused:
            return "board paused by the calibration tool";
        case BoardStatusSnapshot::Board::Unplugged:
            return "board unplugged from " + path;
        case BoardStatusSnapshot::Board::Waiting:
            break;
    }
    return "waiting for the board at " + path;
}

std::string modeText(const BoardStatusSnapshot& s) {
    switch (s.mode) {
        case BoardStatus::Mode::Pen:
            return "pen, no soft keys";
        case BoardStatus::Mode::PenKeys:
            return "pen with soft keys";
        case BoardStatus::Mode::Touch:
            return "touch, no soft keys";
        case BoardStatus::Mode::TouchKeys:
            return "touch with soft keys";
        case BoardStatus::Mode::Unknown:
            break;
    }
    return "mode not reported yet";
}

std::string calibrationText(const BoardStatusSnapshot& s) {
    switch (s.calibration) {
        case BoardStatus::Calibration::NotLoaded:
            return "calibration not loaded yet";
        case BoardStatus::Calibration::BuiltIn:
            return "default grid: not calibrated";
        case BoardStatus::Calibration::Stored:
            break;
    }
    // The stored forms are 2 x 2, 3 x 3 and 5 x 4 dots; any other count in
    // the settings is no grid the mapping can use.
    const bool form = (s.gridColumns == 2 && s.gridRows == 2) ||
                      (s.gridColumns == 3 && s.gridRows == 3) ||
                      (s.gridColumns == 5 && s.gridRows == 4);
    if (!form) {
        return "calibration unusable: DotCount " + std::to_string(s.gridColumns) +
               " is no grid form";
    }
    std::string text =
        "calibrated, " + std::to_string(s.gridColumns) + "x" + std::to_string(s.gridRows) + " grid";
    if (!s.calibrationUsable) {
        text += " that fails its check: recalibrate";
    }
    return text;
}

std::vector<std::string> statusChangeLines(const BoardStatusSnapshot& before,
                                           const BoardStatusSnapshot& after) {
    using Board = BoardStatusSnapshot::Board;
    std::vector<std::string> lines;
    if (after.board == Board::Paused && before.board != Board::Paused) {
        lines.emplace_back("reading paused by the calibration tool");
    } else if (before.board == Board::Paused && after.board == Board::Connected) {
        lines.emplace_back("reading resumed");
    }
    if (after.mode != before.mode && after.mode != BoardStatus::Mode::Unknown) {
        lines.push_back("board mode: " + modeText(after));
    }
    const bool calibrationChanged =
        after.calibration != before.calibration || after.gridColumns != before.gridColumns ||
        after.gridRows != before.gridRows || after.calibrationUsable != before.calibrationUsable;
    if (calibrationChanged && after.calibration != BoardStatus::Calibration::NotLoaded) {
        lines.push_back("calibration: " + calibrationText(after));
    }
    return lines;
}

}  // namespace zorvan
