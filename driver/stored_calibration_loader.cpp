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

bool StoredCalibrationLoader::load() {
    if (!following_) {
        return ReadSystemParam(tables_, prefs_, *display_, pid_, bGet_, showAlert_);
    }
    // The calibration tool saves the screen it calibrated on; what it saved
    // just before its SIGUSR1 must be seen here.
    prefs_.synchronize();
    const BoardScreen board = chooseScreen(prefs_);
    const bool result = ReadSystemParam(tables_, prefs_, MeasuredDisplay(board.placement.pixels),
                                        pid_, bGet_, showAlert_);
    following_->sink.place(board.placement);
    return result;
}

}  // namespace zorvan
