#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

#include "calibration/calibration_tables.h"
#include "calibration/main_display.h"
#include "calibration/settings_store.h"
#include "driver/calibration_loader.h"
#include "driver/log_writer.h"

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
    StoredCalibrationLoader(CalibrationTables& tables, SettingsStore& prefs,
                            const MainDisplay& display, std::int64_t pid, std::atomic<bool>& bGet,
                            std::function<void()> showAlert, LogWriter log = {},
                            LogWriter warn = {})
        : tables_(tables),
          prefs_(prefs),
          display_(display),
          pid_(pid),
          bGet_(bGet),
          showAlert_(std::move(showAlert)),
          log_(std::move(log)),
          warn_(std::move(warn)) {}

    bool load() override;

  private:
    CalibrationTables& tables_;
    SettingsStore& prefs_;
    const MainDisplay& display_;
    std::int64_t pid_;
    std::atomic<bool>& bGet_;
    std::function<void()> showAlert_;
    LogWriter log_;
    LogWriter warn_;
    std::string builtInReason_;   // last reason told; empty while a saved grid is used
    std::string publishProblem_;  // last failure to publish the pid told
};

}  // namespace zorvan
