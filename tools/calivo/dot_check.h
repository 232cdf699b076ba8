#pragma once

#include <vector>

#include "calibration/dot_grid.h"
#include "calibration/points.h"

namespace zorvan::calivo {

enum class DotFault {
    None,
    WrongSide,        // not right of the dot to its left, or not below the dot above,
                      // or too close to its upper-left neighbour for the driver
    FarFromExpected,  // far from where its three upper-left neighbours put it
};

// Share of a cell by which a dot may miss the corner that its three upper-left
// neighbours predict (the fourth corner of their parallelogram).
inline constexpr float kExpectedTolerance = 0.4f;

// Checks the raw point of the next dot, number `earlier.size()` of `form`,
// against the dots already taken (in dot order), so that a misclick is caught
// at once instead of spoiling the grid. The board's raw x grows to the right
// and raw y downward, as the driver's spacing rule assumes.
DotFault checkDot(const GridForm& form, const std::vector<RawPoint>& earlier, RawPoint candidate);

}  // namespace zorvan::calivo
