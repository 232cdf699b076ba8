#include "tools/calivo/dot_check.h"

#include <cmath>

namespace zorvan::calivo {

DotFault checkDot(const GridForm& form, const std::vector<RawPoint>& earlier, RawPoint candidate) {
    const int k = static_cast<int>(earlier.size());
    const int i = form.column(k);
    const int j = form.row(k);
    const auto dot = [&](int column, int row) { return earlier[column * form.rows + row]; };

    const double gap = kMinDotSpacing;
    if (j > 0 && candidate.y - dot(i, j - 1).y < gap) {
        return DotFault::WrongSide;
    }
    if (i > 0 && candidate.x - dot(i - 1, j).x < gap) {
        return DotFault::WrongSide;
    }
    if (i > 0 && j > 0) {
        const RawPoint left = dot(i - 1, j);
        const RawPoint above = dot(i, j - 1);
        const RawPoint diagonal = dot(i - 1, j - 1);
        // The driver's own rule, pair by pair as the dots come in.
        if (!diagonalSpacingOk(candidate, diagonal)) {
            return DotFault::WrongSide;
        }
        const float expectedX = left.x + above.x - diagonal.x;
        const float expectedY = left.y + above.y - diagonal.y;
        const float cellWidth = std::fabs(above.x - diagonal.x);
        const float cellHeight = std::fabs(left.y - diagonal.y);
        if (std::fabs(candidate.x - expectedX) > kExpectedTolerance * cellWidth ||
            std::fabs(candidate.y - expectedY) > kExpectedTolerance * cellHeight) {
            return DotFault::FarFromExpected;
        }
    }
    return DotFault::None;
}

}  // namespace zorvan::calivo
