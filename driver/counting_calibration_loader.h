#pragma once

#include <atomic>

#include "driver/calibration_loader.h"

namespace zorvan {

// Stand-in calibration load: only counts how often it was asked to load.
class CountingCalibrationLoader final : public CalibrationLoader {
  public:
    bool load() override {
        calls_.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    int calls() const { return calls_.load(std::memory_order_relaxed); }

  private:
    std::atomic<int> calls_{0};
};

}  // namespace zorvan
