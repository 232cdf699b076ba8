#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "calibration/calibration_tables.h"
#include "calibration/main_display.h"
#include "calibration/settings_store.h"

namespace zorvan {

// One calibration load, on the reader thread: measures the main display,
// publishes `pid` under "ZorvanPid" and synchronizes the store, reads the grid
// form ("DotCount") and its dots, checks the dot spacing (which can only clear
// `bGet`), derives DIS_LIMIT, reads the soft keys and their tolerances and
// places the dots on the screen. Calls `ShowAlert` (modal, may block) when
// `bGet` is false after the check of a stored grid; the load then goes on.
//
// Returns false when the built-in grid was taken ("DotCount" 0 or missing),
// true otherwise. Never writes outside the 5 x 5 tables: a "DotCount" above 5
// keeps that value in W_Dot but places only the five columns that exist, and
// a negative one places none. A value that is not finite ("nan", "inf" in a
// hand-edited store) reads as 0, the same as a missing key.
bool ReadSystemParam(CalibrationTables& tables, SettingsStore& prefs, const MainDisplay& display,
                     std::int64_t pid, std::atomic<bool>& bGet,
                     const std::function<void()>& ShowAlert);

// "Dot<k>.x" / "Dot<k>.y" and the soft-key names, as the calibration tool
// writes them.
std::string dotKey(int dot, char axis);
std::string softKeyKey(char mode /* 'T' or 'E' */, int key, char axis);

}  // namespace zorvan
