#pragma once

#include <initializer_list>
#include <utility>

#include "calibration/calibration_tables.h"
#include "calibration/main_display.h"
#include "calibration/memory_settings_store.h"
#include "calibration/read_system_param.h"

namespace zorvan::testing {

class FixedDisplay : public MainDisplay {
  public:
    FixedDisplay(std::uint32_t width, std::uint32_t height) : size_{width, height} {}
    DisplaySize pixelSize() const override { return size_; }
    void set(std::uint32_t width, std::uint32_t height) { size_ = {width, height}; }

  private:
    DisplaySize size_;
};

// Saves a grid the way the calibration tool does: "DotCount" and the raw
// point of each dot, numbered column by column.
inline void saveGrid(MemorySettingsStore& store, int dotCount,
                     std::initializer_list<std::pair<float, float>> dots) {
    store.setInteger("DotCount", dotCount);
    int k = 0;
    for (const auto& [x, y] : dots) {
        store.setFloat(dotKey(k, 'x'), x);
        store.setFloat(dotKey(k, 'y'), y);
        ++k;
    }
}

// The 2 x 2 grid on a 1000 x 800 display: screen dots at (100, 80), (900, 80),
// (100, 720), (900, 720).
inline CalibrationTables twoByTwo(std::pair<float, float> tl, std::pair<float, float> tr,
                                  std::pair<float, float> bl, std::pair<float, float> br) {
    CalibrationTables t;
    t.W_Dot = 2;
    t.H_Dot = 2;
    t.MyScreenWidth = 1000.0f;
    t.MyScreenHeight = 800.0f;
    const auto put = [&t](int i, int j, std::pair<float, float> raw, float sx, float sy) {
        const int e = CalibrationTables::index(i, j);
        t.Comm_X[e] = raw.first;
        t.Comm_Y[e] = raw.second;
        t.Scr_DotX[e] = sx;
        t.Scr_DotY[e] = sy;
    };
    put(0, 0, tl, 100.0f, 80.0f);
    put(1, 0, tr, 900.0f, 80.0f);
    put(0, 1, bl, 100.0f, 720.0f);
    put(1, 1, br, 900.0f, 720.0f);
    return t;
}

}  // namespace zorvan::testing
