#include "driver/stored_calibration_loader.h"

#include <cstdio>

#include "calibration/read_system_param.h"

namespace zorvan {

namespace {

// The size one load measured, so that the tables and the backend come from
// the same look at the screens.
class MeasuredDisplay : public MainDisplay {
  public:
    explicit MeasuredDisplay(DisplaySize size) : size_(size) {}
    DisplaySize pixelSize() const override { return size_; }

  private:
    DisplaySize size_;
};

}  // namespace

BoardScreen StoredCalibrationLoader::chooseScreen(SettingsStore& prefs) {
    ScreenFollowing& f = *following_;
    BoardScreen board = f.screens.boardScreen(requestedScreen(prefs, f.screenOverride));

    if (board.missing.empty()) {
        saidMissing_.clear();
    } else if (board.missing != saidMissing_) {
        saidMissing_ = board.missing;
        const std::string standIn =
            board.name.empty() ? "no screen" : "the primary screen " + board.name;
        const std::string line = "screen \"" + board.missing +
                                 "\" is not connected; the board covers " + standIn +
                                 " until it returns";
        // Nothing lines up until the user acts: stderr as well as the log view.
        std::fprintf(stderr, "zorvan: %s\n", line.c_str());
        if (f.log) {
            f.log(line);
        }
    }
    const std::string said = board.name.empty()
                                 ? std::string("board screen: none")
                                 : "board screen: " + board.name + " " +
                                       rectText(board.placement.screen) + " on a desktop of " +
                                       rectText(board.placement.desktop);
    if (said != saidScreen_) {
        saidScreen_ = said;
        if (f.log) {
            f.log(said);
        }
    }
    return board;
}

void StoredCalibrationLoader::tellWhyBuiltIn(bool stored) {
    std::string reason;
    if (!stored) {
        reason = prefs_.readProblem();
        if (reason.empty()) {
            reason = "no calibration is saved (DotCount is 0 or missing)";
        }
    }
    if (reason != builtInReason_) {
        builtInReason_ = reason;
        if (!reason.empty() && log_) {
            log_("using the built-in calibration: " + reason);
        }
    }
    const std::string publish = prefs_.writeProblem();
    if (publish != publishProblem_) {
        publishProblem_ = publish;
        if (!publish.empty() && warn_) {
            warn_(publish + " (the calibration tool cannot reach the driver)");
        }
    }
}

bool StoredCalibrationLoader::load() {
    bool stored = false;
    if (!following_) {
        stored = ReadSystemParam(tables_, prefs_, *display_, pid_, bGet_, showAlert_);
    } else {
        // The calibration tool saves the screen it calibrated on; what it saved
        // just before its SIGUSR1 must be seen here.
        prefs_.synchronize();
        const BoardScreen board = chooseScreen(prefs_);
        stored = ReadSystemParam(tables_, prefs_, MeasuredDisplay(board.placement.pixels), pid_,
                                 bGet_, showAlert_);
        following_->sink.place(board.placement);
    }
    if (status_ != nullptr) {
        status_->publishCalibration(stored, tables_.W_Dot, tables_.H_Dot);
    }
    tellWhyBuiltIn(stored);
    return stored;
}

}  // namespace zorvan
