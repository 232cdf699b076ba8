#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "calibration/settings_store.h"
#include "tools/calivo/driver_link.h"

namespace zorvan::calivo {

// The commands for scripts and administrators, on the store shared with the
// driver. Each returns the program's exit status: 0 done, 1 failed (the
// reason said on `errors`).

// Prints the stored calibration in the text form of --export, after the
// comment lines `where` (where it is stored, whose it is) and one saying
// whether the driver can use it.
int showCalibration(SettingsStore& store, const std::vector<std::string>& where, std::FILE* out);

// Writes the stored calibration in the text form to `path` ("-": stdout).
// Fails when no grid is stored.
int exportCalibration(SettingsStore& store, const std::string& path, std::FILE* errors);

// Where --import gets its text: the whole of `path` ("-": stdin), or nullopt
// with one line saying why not in `problem`.
using ImportReader =
    std::function<std::optional<std::string>(const std::string& path, std::string& problem)>;

// Reads a calibration in the text form from `path` with `read` and stores
// it, synchronizes and sends SIGUSR1 to the driver so that it loads it at
// the board's next silence. A bad file stores nothing, and so does an import
// while another calibration tool runs: that one has the driver paused and
// would store its own result over it. `stored` says whether the last
// synchronization reached the store (null: take it that it did).
int importCalibration(SettingsStore& store, const std::function<bool()>& stored, DriverLink& driver,
                      const std::string& path, const ImportReader& read, std::FILE* out,
                      std::FILE* errors);

}  // namespace zorvan::calivo
