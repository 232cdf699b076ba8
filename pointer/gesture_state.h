#pragma once

#include <chrono>
#include <cstdint>

#include "calibration/points.h"

namespace zorvan {

// Half-size of the hold box around the press point, pixels.
inline constexpr std::int32_t DISTANCE_LIMIT = 5;
// Touch samples inside the hold box after which a right click follows.
inline constexpr std::int32_t T_DATA_LIMIT = 90;
// Pen samples inside the hold box after which a right click follows.
inline constexpr std::int32_t E_DATA_LIMIT = 60;
// Half-size of the box in which consecutive releases count as a double click, pixels.
inline constexpr std::int32_t DCIL_DIS_LIMIT = 5;
// Double-click time limit: elapsed time on a monotonic clock between the
// previous release and the one that double-clicks (strictly less). What the
// driver's users got from its first, processor-time limit while it polled
// every 5 ms; measured in processor time it would depend on the machine's
// load and stretch to minutes for a driver that sleeps while idle.
inline constexpr std::chrono::nanoseconds Time_Double_Click = std::chrono::milliseconds(1200);

// Everything the gesture engine remembers between samples. Owned by the
// reader thread; nothing but the engine writes it.
struct GestureState {
    std::int32_t Dn2 = 0;           // a press is posted and its release is not
    ScreenPoint ptLast;             // press point, centre of the hold box
    std::int32_t T_DATA_COUNT = 0;  // touch samples in the hold box
    std::int32_t E_DATA_COUNT = 0;  // pen samples in the hold box
    bool MidFlag = false;           // the movement filter holds a reference point
    ScreenPoint ptSave;             // reference for the next sample
    ScreenPoint ptUse;              // last smoothed point (last drag, forced release)
    std::int32_t UN_FIT_COUNT = 0;  // touch samples rejected as jumps in a row
    bool bUP_ONE = false;           // a forced release is posted; the next reference presses
    std::int32_t Up_Count = 0;      // releases counted toward the double-click test
    ScreenPoint ptLastUP;           // where the previous release happened
    std::chrono::nanoseconds Time_Last_Click{0};  // the clock at the previous release

    friend bool operator==(const GestureState&, const GestureState&) = default;
};

}  // namespace zorvan
