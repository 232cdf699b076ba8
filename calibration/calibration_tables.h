#pragma once

#include <array>
#include <cstdint>

#include "calibration/points.h"

namespace zorvan {

// Everything the driver knows about how raw board coordinates relate to the
// screen. Written only by the calibration load, read by the mapping, the soft
// key test and the gesture engine, all on the reader thread.
//
// The dot grid tables hold five columns of five rows: dot (column i, row j) is
// element 5 * i + j. Only the W_Dot x H_Dot block is in use.
struct CalibrationTables {
    static constexpr int kGridSide = 5;
    static constexpr int kGridSize = kGridSide * kGridSide;
    static constexpr int kSoftKeyCount = 28;

    std::array<float, kGridSize> Comm_X{};    // raw x of each dot
    std::array<float, kGridSize> Comm_Y{};    // raw y of each dot
    std::array<float, kGridSize> Scr_DotX{};  // screen x of each dot, pixels
    std::array<float, kGridSize> Scr_DotY{};  // screen y of each dot, pixels
    std::int32_t W_Dot = 3;                   // dot columns in use
    std::int32_t H_Dot = 3;                   // dot rows in use
    float MyScreenWidth = 0.0f;               // main display, pixels
    float MyScreenHeight = 0.0f;

    std::array<RawPoint, kSoftKeyCount> ptTBtn{};  // touch-mode soft keys, raw
    std::array<RawPoint, kSoftKeyCount> ptEBtn{};  // pen-mode soft keys, raw
    std::int32_t Btn_T = 25;                       // touch soft-key tolerance, raw units
    std::int32_t Btn_E = 25;                       // pen soft-key tolerance, raw units

    std::int32_t DIS_LIMIT = 90;  // jump limit of the touch filter, pixels
    static constexpr std::int32_t DIS_LIMIT_MIN = 50;
    static constexpr std::int32_t DIS_LIMIT_MAX = 120;

    static constexpr std::int32_t Btn_T_LimitS = 18;
    static constexpr std::int32_t Btn_T_LimitL = 30;
    static constexpr std::int32_t Btn_E_LimitS = 18;
    static constexpr std::int32_t Btn_E_LimitL = 30;

    static constexpr int index(int column, int row) { return kGridSide * column + row; }
};

}  // namespace zorvan
