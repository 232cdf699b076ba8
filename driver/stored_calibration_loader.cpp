#include "driver/stored_calibration_loader.h"

#include <cstddef>
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

// Tells a recalibration from a reload of the same grid (FNV-1a over the raw
// dots in use and the form).
std::uint64_t gridFingerprint(const CalibrationTables& t) {
    std::uint64_t hash = 14695981039346656037ull;
    const auto mix = [&hash](const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            hash = (hash ^ bytes[i]) * 1099511628211ull;
        }
    };
    mix(&t.W_Dot, sizeof t.W_Dot);
    mix(&t.H_Dot, sizeof t.H_Dot);
    mix(t.Comm_X.data(), sizeof t.Comm_X);
    mix(t.Comm_Y.data(), sizeof t.Comm_Y);
    return hash;
}

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

void StoredCalibrationLoader::fallBackTo(SettingsStore& machineWide, std::string machineWideFile,
                                         std::string ownFile) {
    fallback_ = std::make_unique<FallbackSettingsStore>(prefs_, machineWide);
    machineWideFile_ = std::move(machineWideFile);
    ownFile_ = std::move(ownFile);
}

std::string StoredCalibrationLoader::originText(CalibrationOrigin origin) const {
    switch (origin) {
        case CalibrationOrigin::Own:
            return ownFile_.empty() ? "this account's calibration"
                                    : "this account's calibration in " + ownFile_;
        case CalibrationOrigin::MachineWide:
            return "the machine-wide calibration in " + machineWideFile_;
        case CalibrationOrigin::None:
            break;
    }
    return "the built-in calibration";
}

void StoredCalibrationLoader::tellOrigin(CalibrationOrigin origin) {
    if (!fallback_ || saidOrigin_ == origin) {
        return;
    }
    saidOrigin_ = origin;
    // The built-in one is told with its reason (tellWhyBuiltIn).
    if (origin == CalibrationOrigin::MachineWide && log_) {
        log_("calibration from " + machineWideFile_ +
             " (machine-wide: this account has none of its own)");
    } else if (origin == CalibrationOrigin::Own && log_) {
        log_("calibration from " + ownFile_);
    }
}

void StoredCalibrationLoader::tellWhyBuiltIn(bool stored) {
    std::string reason;
    if (!stored) {
        reason = prefs_.readProblem();
        if (reason.empty() && fallback_) {
            // A machine-wide file that cannot be read is why every account
            // without a calibration of its own has none.
            reason = fallback_->machineWideProblem();
        }
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
    // Everything is read through the machine-wide fallback when there is one;
    // the driver's own writes ("ZorvanPid") still go to the user's file alone.
    SettingsStore& prefs = fallback_ ? static_cast<SettingsStore&>(*fallback_) : prefs_;
    bool stored = false;
    if (!following_) {
        stored = ReadSystemParam(tables_, prefs, *display_, pid_, bGet_, showAlert_);
    } else {
        // The calibration tool saves the screen it calibrated on; what it saved
        // just before its SIGUSR1 must be seen here.
        prefs.synchronize();
        const BoardScreen board = chooseScreen(prefs);
        stored = ReadSystemParam(tables_, prefs, MeasuredDisplay(board.placement.pixels), pid_,
                                 bGet_, showAlert_);
        following_->sink.place(board.placement);
    }
    CalibrationOrigin origin = stored ? CalibrationOrigin::Own : CalibrationOrigin::None;
    if (fallback_ && stored) {
        origin = fallback_->calibrationOrigin();
    }
    if (status_ != nullptr) {
        status_->publishCalibration(stored, tables_.W_Dot, tables_.H_Dot, gridFingerprint(tables_),
                                    origin);
    }
    tellOrigin(origin);
    tellWhyBuiltIn(stored);
    return stored;
}

}  // namespace zorvan
