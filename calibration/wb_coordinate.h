#pragma once

#include "calibration/calibration_tables.h"
#include "calibration/points.h"

namespace zorvan {

// Maps one raw board coordinate to a main-display point through the cell of
// the calibration grid that the point falls in (interpolating inside it,
// extrapolating outside), then clamps to 0..MyScreenWidth x 0..MyScreenHeight,
// both bounds inclusive. Reads the tables afresh at every call; no state.
//
// Always yields a finite point within the clamp bounds, for any tables:
// - a point that fits none of the cells of the 5 x 4 form (the two slivers
//   the column bounds of row 1 and row 2 leave open) takes the bottom-row cell
//   that row 2's own bounds give it;
// - a cell that cannot map (two dots of an edge share their raw x, its screen
//   dots lie less than one pixel apart, the tables are all zero or hold
//   non-finite values, the edges cross at x) maps the point proportionally
//   across the display instead: raw 0..4095 onto 0..MyScreenWidth and
//   0..MyScreenHeight;
// - whatever remains non-finite clamps to 0.
ScreenPoint WBCoordinate(const CalibrationTables& tables, float x, float y);

}  // namespace zorvan
