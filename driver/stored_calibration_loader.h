#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "calibration/calibration_tables.h"
#include "calibration/fallback_settings_store.h"
#include "calibration/main_display.h"
#include "calibration/settings_store.h"
#include "driver/board_screen_source.h"
#include "driver/board_status.h"
#include "driver/calibration_loader.h"
#include "driver/log_writer.h"
#include "pointer/mouse_event.h"

namespace zorvan {

// The reader's calibration load: the tables the road reads, refilled from the
// store the calibration tool saves to. Runs on the reader thread.
//
// Says on `log` why the calibration in use is the built-in one (the file is
// missing, unreadable, refused or does not parse, or holds no calibration),
// and on `warn` that the driver's pid could not be published; each once, and
// again only when the reason changes.
class StoredCalibrationLoader : public CalibrationLoader {
  public:
    // The board's screen, followed at every load: chosen by name (the
    // command line's, else the store's "Screen"), else the primary; its size
    // goes to the tables and its place on the desktop to the pointer backend.
    struct ScreenFollowing {
        const BoardScreenSource& screens;
        MouseEventSink& sink;
        std::string screenOverride;  // --screen NAME; empty: the store decides
        LogWriter log;               // which screen the board covers, when that changes
    };

    // The main display measured as it is, nothing placed.
    StoredCalibrationLoader(CalibrationTables& tables, SettingsStore& prefs,
                            const MainDisplay& display, std::int64_t pid, std::atomic<bool>& bGet,
                            std::function<void()> showAlert, LogWriter log = {},
                            LogWriter warn = {})
        : tables_(tables),
          prefs_(prefs),
          display_(&display),
          pid_(pid),
          bGet_(bGet),
          showAlert_(std::move(showAlert)),
          log_(std::move(log)),
          warn_(std::move(warn)) {}

    StoredCalibrationLoader(CalibrationTables& tables, SettingsStore& prefs,
                            ScreenFollowing following, std::int64_t pid, std::atomic<bool>& bGet,
                            std::function<void()> showAlert, LogWriter log = {},
                            LogWriter warn = {})
        : tables_(tables),
          prefs_(prefs),
          following_(std::make_unique<ScreenFollowing>(std::move(following))),
          pid_(pid),
          bGet_(bGet),
          showAlert_(std::move(showAlert)),
          log_(std::move(log)),
          warn_(std::move(warn)) {}

    bool load() override;

    // Reads the calibration from `machineWide` when the user's store
    // (`prefs`, in `ownFile`) holds none, and "Screen" when it has none set;
    // never writes there. Says in the log where the calibration in use comes
    // from whenever that changes. Set before the reader starts.
    void fallBackTo(SettingsStore& machineWide, std::string machineWideFile, std::string ownFile);

    // Where the calibration of the last load came from, for the window
    // (any thread): "the machine-wide calibration in /etc/xdg/Zorvan/Zorvan.conf".
    // The window gets the origin itself with the board's status
    // (BoardStatusSnapshot::calibrationOrigin).
    std::string originText(CalibrationOrigin origin) const;

    // Where the grid in use is published for the window after each load
    // (null: nowhere). Set before the reader starts.
    void publishStatusTo(BoardStatus* status) { status_ = status; }

    // Chooses the board's screen from what `prefs` holds now, saying in the
    // log when it differs from the last one said or when a named screen is
    // missing (once until it returns). Needs screen following. The reader's
    // loads call it; the program calls it once before the reader starts.
    BoardScreen chooseScreen(SettingsStore& prefs);

  private:
    void tellWhyBuiltIn(bool stored);
    void tellOrigin(CalibrationOrigin origin);

    CalibrationTables& tables_;
    SettingsStore& prefs_;
    const MainDisplay* display_ = nullptr;
    std::unique_ptr<ScreenFollowing> following_;
    std::int64_t pid_;
    std::atomic<bool>& bGet_;
    std::function<void()> showAlert_;
    BoardStatus* status_ = nullptr;
    LogWriter log_;
    LogWriter warn_;
    std::string builtInReason_;   // last reason told; empty while a saved grid is used
    std::string publishProblem_;  // last failure to publish the pid told
    std::string saidScreen_;      // the screen and place last said
    std::string saidMissing_;     // the missing screen last said
    std::unique_ptr<FallbackSettingsStore> fallback_;
    std::string machineWideFile_;
    std::string ownFile_;
    std::optional<CalibrationOrigin> saidOrigin_;
};

}  // namespace zorvan
