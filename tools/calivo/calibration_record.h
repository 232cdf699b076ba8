#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "calibration/calibration_tables.h"
#include "calibration/dot_grid.h"
#include "calibration/main_display.h"
#include "calibration/points.h"
#include "calibration/settings_store.h"

namespace zorvan::calivo {

// One calibration as the tool saves it: the grid form, the raw point of each
// dot (in dot order, column by column) and the soft keys taken, for touch and
// pen mode, indexed like kStoredSoftKeys. A key left out keeps its stored value.
struct CalibrationRecord {
    using SoftKeys = std::array<std::optional<RawPoint>, kStoredSoftKeys.size()>;

    std::int64_t dotCount = 0;  // 2, 3 or 5 for a grid; anything else stores none
    std::vector<RawPoint> dots;
    SoftKeys touchKeys;
    SoftKeys penKeys;

    friend bool operator==(const CalibrationRecord&, const CalibrationRecord&) = default;
};

// What the store holds now, after synchronizing: "DotCount", its dots when it
// names a form, and every soft key (a missing value reads as 0, as the driver
// reads it).
CalibrationRecord readStoredCalibration(SettingsStore& store);

// Writes "DotCount", every dot of the form and the soft keys taken; does not
// synchronize. Nothing else in the store changes.
void saveCalibration(SettingsStore& store, const CalibrationRecord& record);

// The tables the driver will load from this record on a display of `size`,
// made by the driver's own load. `spacingOk` tells whether the grid passes
// the driver's spacing check, so that saving it never raises its alert.
CalibrationTables driverTablesFor(const CalibrationRecord& record, DisplaySize size,
                                  bool& spacingOk);

}  // namespace zorvan::calivo
