#include "calibration/read_system_param.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

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

// Scaling by a fraction is formed in double and stored as float.
float scaled(float value, double factor) {
    return static_cast<float>(value * factor);
}

struct Steps {
    float x = 0.0f;
    float y = 0.0f;
};

void readDots(CalibrationTables& t, SettingsStore& prefs, int columns, int rows) {
    const int count = columns * rows;
    for (int k = 0; k < count; ++k) {
        t.Comm_X[CalibrationTables::index(k / rows, k % rows)] = readFinite(prefs, dotKey(k, 'x'));
    }
    for (int k = 0; k < count; ++k) {
        t.Comm_Y[CalibrationTables::index(k / rows, k % rows)] = readFinite(prefs, dotKey(k, 'y'));
    }
}

// Only diagonal neighbours are compared: dot (i, j + 1) against (i - 1, j).
void checkSpacing(const CalibrationTables& t, std::atomic<bool>& bGet) {
    for (int i = 1; i < t.W_Dot; ++i) {
        for (int j = 0; j < t.H_Dot - 1; ++j) {
            const int lowerRight = CalibrationTables::index(i, j + 1);
            const int upperLeft = CalibrationTables::index(i - 1, j);
            if (t.Comm_X[lowerRight] - t.Comm_X[upperLeft] < 20.0 ||
                t.Comm_Y[lowerRight] - t.Comm_Y[upperLeft] < 20.0) {
                bGet.store(false, std::memory_order_relaxed);
            }
        }
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

constexpr std::array<int, 5> kSoftKeys{0, 1, 2, 12, 26};

void readSoftKeys(std::array<RawPoint, CalibrationTables::kSoftKeyCount>& table, char mode,
                  SettingsStore& prefs) {
    for (const int key : kSoftKeys) {
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

void placeDots(CalibrationTables& t, Steps step, float marginX, float marginY) {
    // W_Dot may hold any stored value; the tables have five columns of five rows.
    const int columns = std::min(t.W_Dot, kSide);
    const int rows = std::min(t.H_Dot, kSide);
    for (int i = 0; i < columns; ++i) {
        for (int j = 0; j < rows; ++j) {
            t.Scr_DotX[CalibrationTables::index(i, j)] = static_cast<float>(i) * step.x + marginX;
            t.Scr_DotY[CalibrationTables::index(i, j)] = static_cast<float>(j) * step.y + marginY;
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
    const float marginX = scaled(t.MyScreenWidth, 0.1);
    const float marginY = scaled(t.MyScreenHeight, 0.1);

    // Published first and synchronized, so the reads below see everything the
    // calibration tool saved before this moment.
    prefs.setIntegerForKey(pid, "ZorvanPid");
    prefs.synchronize();

    const std::int64_t dotCount = prefs.integerForKey("DotCount");
    t.W_Dot = saturateToInt32(dotCount);

    Steps step;
    bool storedGrid = true;
    switch (dotCount) {
        case 0:
            // The built-in grid says nothing about this board: no spacing
            // check, and DIS_LIMIT and the tolerances keep their values.
            t.W_Dot = 2;
            t.H_Dot = 2;
            step = {scaled(t.MyScreenWidth, 0.8), scaled(t.MyScreenHeight, 0.8)};
            loadBuiltInGrid(t);
            readSoftKeys(t.ptTBtn, 'T', prefs);
            readSoftKeys(t.ptEBtn, 'E', prefs);
            placeDots(t, step, marginX, marginY);
            return false;
        case 2:
            t.H_Dot = 2;
            step = {scaled(t.MyScreenWidth, 0.8), scaled(t.MyScreenHeight, 0.8)};
            readDots(t, prefs, 2, 2);
            break;
        case 3:
            t.H_Dot = 3;
            step = {static_cast<float>(t.MyScreenWidth * 0.8 / 2),
                    static_cast<float>(t.MyScreenHeight * 0.8 * 0.5)};
            readDots(t, prefs, 3, 3);
            break;
        case 5:
            t.H_Dot = 4;
            step = {static_cast<float>(t.MyScreenWidth * 0.8 / 4),
                    static_cast<float>(t.MyScreenHeight * 0.8 / 3)};
            readDots(t, prefs, 5, 4);
            break;
        default:
            // Not a grid form: the raw grid and H_Dot stay, both steps are 0.
            storedGrid = false;
            break;
    }

    if (storedGrid) {
        checkSpacing(t, bGet);
        if (!bGet.load(std::memory_order_relaxed)) {
            if (ShowAlert) {
                ShowAlert();
            }
        } else {
            computeDisLimit(t);
        }
    }

    readSoftKeysAndTolerances(t, prefs);
    placeDots(t, step, marginX, marginY);
    return true;
}

}  // namespace zorvan
