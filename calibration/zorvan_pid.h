#pragma once

#include <cstdint>

#include "calibration/settings_store.h"

namespace zorvan {

// The key under which the driver publishes its process id for the
// calibration tool (written by each calibration load).
inline constexpr const char* kZorvanPidKey = "ZorvanPid";

// At the driver's end: removes "ZorvanPid" if it still holds `pid`, so the
// calibration tool never signals a process that has gone (or a stranger that
// got its pid). A later driver's pid is left alone. Returns true if removed.
bool clearZorvanPid(SettingsStore& prefs, std::int64_t pid);

}  // namespace zorvan
