#include "calibration/read_system_param.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "calibration/dot_grid.h"

namespace zorvan {

static_assert(std::atomic<bool>::is_always_lock_free);

namespace {

constexpr int kSide = CalibrationTables::kGridSide;

// Truncates toward zero like a plain conversion, but NaN gives 0 and values
// beyond the int32 range saturate, so a wild stored value is never undefined
// behaviour. Identical to the plain conversion for every value in range.
std::int32_t truncToInt(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483648.0) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value <= -2147483649.0) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

std::int32_t saturateToInt32(std::int64_t value) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// A hand-edited store may hold "nan" or "inf": such a value reads as a missing
// one, so nothing non-finite ever reaches the tables.
float readFinite(SettingsStore& prefs, const std::string& key) {
    const float value = prefs.floatForKey(key);
    return std::isfinite(value) ? value : 0.0f;
}

void readDots(CalibrationTables& t, SettingsStore& prefs, int columns, int rows) {
    const int count = columns * rows;
    for (int k = 0; k < count; ++k) {
        t.Comm_X[CalibrationTables::index(k / rows, k % rows)] = readFinite(prefs, dotKey(k, 'x'));
    }
    for (int k = 0; k < count; ++k) {
        t.Comm_Y[CalibrationTables::index(k / rows, k % rows)] = readFinite(prefs, dotKey(k, 'y'));
    }
}

void computeDisLimit(CalibrationTables& t) {
    const int last = CalibrationTables::index(t.W_Dot - 1, t.H_Dot - 1);
    std::int32_t limit = truncToInt((t.Comm_X[last] - t.Comm_X[0]) / 30.0f);
    if (limit < CalibrationTables::DIS_LIMIT_MIN) {
        limit = CalibrationTables::DIS_LIMIT_MIN;
    }
    if (limit > CalibrationTables::DIS_LIMIT_MAX) {
        limit = CalibrationTables::DIS_LIMIT_MAX;
    }
    t.DIS_LIMIT = limit;
}

void readSoftKeys(std::array<RawPoint, CalibrationTables::kSoftKeyCount>& table, char mode,
                  SettingsStore& prefs) {
    for (const int key : kStoredSoftKeys) {
        table[key].x = readFinite(prefs, softKeyKey(mode, key, 'x'));
        table[key].y = readFinite(prefs, softKeyKey(mode, key, 'y'));
    }
}

std::int32_t softKeyTolerance(const std::array<RawPoint, CalibrationTables::kSoftKeyCount>& table,
                              std::int32_t limitS, std::int32_t limitL) {
    const float spread = 2 * table[2].y - table[1].y - table[0].y;
    std::int32_t tolerance = truncToInt(spread * 0.1);
    if (tolerance > limitL) {
        tolerance = limitL;
    }
    if (tolerance < limitS) {
        tolerance = limitS;
    }
    return tolerance;
}

void placeDots(CalibrationTables& t, const DotLayout& layout) {
    // W_Dot may hold any stored value; the tables have five columns of five rows.
    const int columns = std::min(t.W_Dot, kSide);
    const int rows = std::min(t.H_Dot, kSide);
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            const ScreenPoint dot = dotScreenPoint(layout, i, j);
            t.Scr_DotX[CalibrationTables::index(i, j)] = dot.x;
            t.Scr_DotY[CalibrationTables::index(i, j)] = dot.y;
        }
    }
}

void loadBuiltInGrid(CalibrationTables& t) {
    t.Comm_X[CalibrationTables::index(0, 0)] = 876.75f;
    t.Comm_Y[CalibrationTables::index(0, 0)] = 1056.5f;
    t.Comm_X[CalibrationTables::index(0, 1)] = 1070.625f;
    t.Comm_Y[CalibrationTables::index(0, 1)] = 2644.625f;
    t.Comm_X[CalibrationTables::index(1, 0)] = 3178.5f;
    t.Comm_Y[CalibrationTables::index(1, 0)] = 1084.0f;
    t.Comm_X[CalibrationTables::index(1, 1)] = 3083.125f;
    t.Comm_Y[CalibrationTables::index(1, 1)] = 3823.875f;
}

void readSoftKeysAndTolerances(CalibrationTables& t, SettingsStore& prefs) {
    readSoftKeys(t.ptTBtn, 'T', prefs);
    readSoftKeys(t.ptEBtn, 'E', prefs);
    t.Btn_T = softKeyTolerance(t.ptTBtn, CalibrationTables::Btn_T_LimitS,
                               CalibrationTables::Btn_T_LimitL);
    t.Btn_E = softKeyTolerance(t.ptEBtn, CalibrationTables::Btn_E_LimitS,
                               CalibrationTables::Btn_E_LimitL);
}

}  // namespace

std::string dotKey(int dot, char axis) {
    return "Dot" + std::to_string(dot) + '.' + axis;
}

std::string softKeyKey(char mode, int key, char axis) {
    return std::string(1, mode) + "Key" + std::to_string(key) + '.' + axis;
}

bool ReadSystemParam(CalibrationTables& tables, SettingsStore& prefs, const MainDisplay& display,
                     std::int64_t pid, std::atomic<bool>& bGet,
                     const std::function<void()>& ShowAlert) {
    CalibrationTables& t = tables;

    const DisplaySize size = display.pixelSize();
    t.MyScreenWidth = static_cast<float>(size.width);
    t.MyScreenHeight = static_cast<float>(size.height);

    // Published first and synchronized, so the reads below see everything the
    // calibration tool saved before this moment.
    prefs.setIntegerForKey(pid, "ZorvanPid");
    prefs.synchronize();

    const std::int64_t dotCount = prefs.integerForKey("DotCount");
    t.W_Dot = saturateToInt32(dotCount);
    const DotLayout layout = dotLayout(dotCount, t.MyScreenWidth, t.MyScreenHeight);

    if (dotCount == 0) {
        // The built-in grid says nothing about this board: no spacing
        // check, and DIS_LIMIT and the tolerances keep their values.
        t.W_Dot = 2;
        t.H_Dot = 2;
        loadBuiltInGrid(t);
        readSoftKeys(t.ptTBtn, 'T', prefs);
        readSoftKeys(t.ptEBtn, 'E', prefs);
        placeDots(t, layout);
        return false;
    }

    // Any other value that is not a grid form keeps the raw grid and H_Dot.
    if (const std::optional<GridForm> form = gridForm(dotCount)) {
        t.H_Dot = form->rows;
        readDots(t, prefs, form->columns, form->rows);
        if (!dotSpacingOk(t)) {
            bGet.store(false, std::memory_order_relaxed);
        }
        if (!bGet.load(std::memory_order_relaxed)) {
            if (ShowAlert) {
                ShowAlert();
            }
        } else {
            computeDisLimit(t);
        }
    }

    readSoftKeysAndTolerances(t, prefs);
    placeDots(t, layout);
    return true;
}

}  // namespace zorvan
