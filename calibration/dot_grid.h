#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "calibration/calibration_tables.h"
#include "calibration/points.h"

namespace zorvan {

// The layout of the calibration dots, shared by the driver's load and the
// calibration tool: both must agree on where each dot sits on the screen and
// on which grids are usable, to the bit.

// A grid form the calibration tool saves under "DotCount": 2 (2 x 2),
// 3 (3 x 3) or 5 (five columns of four rows). Dots are numbered column by
// column: dot k is column k / rows, row k % rows.
struct GridForm {
    int dotCount = 0;
    int columns = 0;
    int rows = 0;
    int dots() const { return columns * rows; }
    int column(int dot) const { return dot / rows; }
    int row(int dot) const { return dot % rows; }
};

// The stored form of `dotCount`; none for 0 (the built-in grid) and for any
// value that is not a form.
std::optional<GridForm> gridForm(std::int64_t dotCount);

// Screen pixels of the dots on a display of width x height: dot (i, j) sits at
// (i * stepX + marginX, j * stepY + marginY). The margins are 10 % of each
// axis and the steps spread the form's dots evenly up to 90 %. "DotCount" 0
// (the built-in grid) is laid out as form 2; a value that is no form gets
// zero steps, putting every dot at the margins.
struct DotLayout {
    float marginX = 0.0f;
    float marginY = 0.0f;
    float stepX = 0.0f;
    float stepY = 0.0f;
};
DotLayout dotLayout(std::int64_t dotCount, float width, float height);
ScreenPoint dotScreenPoint(const DotLayout& layout, int column, int row);

// Dots of a usable grid lie at least this many raw units right of and below
// their upper-left diagonal neighbour.
inline constexpr float kMinDotSpacing = 20.0f;

// The spacing rule for one pair: `lowerRight` is dot (i, j + 1) and
// `upperLeft` dot (i - 1, j).
bool diagonalSpacingOk(RawPoint lowerRight, RawPoint upperLeft);

// The rule over the W_Dot x H_Dot block of the tables: only diagonal
// neighbours are compared.
bool dotSpacingOk(const CalibrationTables& tables);

// The soft keys a calibration stores, for touch ("TKey") and pen ("EKey") mode.
inline constexpr std::array<int, 5> kStoredSoftKeys{0, 1, 2, 12, 26};

}  // namespace zorvan
