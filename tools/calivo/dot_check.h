#pragma once

#include <optional>
#include <vector>

#include "calibration/dot_grid.h"
#include "calibration/points.h"

namespace zorvan::calivo {

enum class DotFault {
    None,
    WrongSide,        // not right of a dot to its left, not below a dot above, or too
                      // close to a diagonal neighbour for the driver
    FarFromExpected,  // far from where the three other corners of a cell put it
};

// The dots of one grid, in dot order (column by column); a dot not taken is empty.
using DotSet = std::vector<std::optional<RawPoint>>;

// Share of a cell by which a dot may miss where its neighbours put it.
inline constexpr float kExpectedTolerance = 0.4f;

// Checks the raw point of dot `index` of `form` against every dot taken,
// before it as well as after it, so that a misclick is caught at once instead
// of spoiling the grid. The board's raw x grows to the right and raw y
// downward, as the driver's spacing rule assumes.
DotFault checkDot(const GridForm& form, const DotSet& dots, int index, RawPoint candidate);

// How far from a plane through the others (in cells) dots that agree may lie.
inline constexpr float kPlaneTolerance = 0.15f;

// When the taken dots disagree, the one to blame: the dot whose leaving out
// makes the others agree, with one another by checkDot and with a plane
// fitted through them (within kPlaneTolerance of a cell), clearly better than
// leaving out any other, while it lies more than kExpectedTolerance of a cell
// off that plane. Empty when no dot stands out so, as when too few dots are
// taken to tell.
std::optional<int> strayDot(const GridForm& form, const DotSet& dots);

// Where `raw` lies on the grid, in fractional columns and rows, by a plane
// fitted through the dots taken; empty while they lie on one line.
struct GridPosition {
    double column = 0;
    double row = 0;
};
std::optional<GridPosition> gridPosition(const GridForm& form, const DotSet& dots, RawPoint raw);

}  // namespace zorvan::calivo
