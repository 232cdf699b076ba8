#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <utility>

#include "calibration/calibration_tables.h"
#include "calibration/main_display.h"
#include "calibration/settings_store.h"
#include "driver/board_status.h"
#include "driver/calibration_loader.h"

namespace zorvan {

// The reader's calibration load: the tables the road reads, refilled from the
// store the calibration tool saves to. Runs on the reader thread.
class StoredCalibrationLoader : public CalibrationLoader {
  public:
    StoredCalibrationLoader(CalibrationTables& tables, SettingsStore& prefs,
                            const MainDisplay& display, std::int64_t pid, std::atomic<bool>& bGet,
                            std::function<void()> showAlert)
        : tables_(tables),
          prefs_(prefs),
          display_(display),
          pid_(pid),
          bGet_(bGet),
          showAlert_(std::move(showAlert)) {}

    bool load() override;

    // Where the grid in use is published for the window after each load
    // (null: nowhere). Set before the reader starts.
    void publishStatusTo(BoardStatus* status) { status_ = status; }

  private:
    CalibrationTables& tables_;
    SettingsStore& prefs_;
    const MainDisplay& display_;
    std::int64_t pid_;
    std::atomic<bool>& bGet_;
    std::function<void()> showAlert_;
    BoardStatus* status_ = nullptr;
};

}  // namespace zorvan
