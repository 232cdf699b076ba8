#include "tools/calivo/dot_check.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zorvan::calivo {

namespace {

struct Cell {
    int column;
    int row;
};

const RawPoint* dotAt(const GridForm& form, const DotSet& dots, int column, int row) {
    if (column < 0 || row < 0 || column >= form.columns || row >= form.rows) {
        return nullptr;
    }
    const auto& dot = dots[static_cast<std::size_t>(column * form.rows + row)];
    return dot ? &*dot : nullptr;
}

// The corner (column, row) of the cell whose upper-left corner is `origin`,
// against the fourth corner that the other three predict. Cell size comes
// from the edges that do not touch the corner judged.
bool fitsCell(const GridForm& form, const DotSet& dots, Cell origin, Cell corner,
              RawPoint candidate) {
    const int dc = corner.column - origin.column;  // 0 or 1
    const int dr = corner.row - origin.row;
    const RawPoint* opposite = dotAt(form, dots, origin.column + 1 - dc, origin.row + 1 - dr);
    const RawPoint* sameRow = dotAt(form, dots, origin.column + 1 - dc, corner.row);
    const RawPoint* sameColumn = dotAt(form, dots, corner.column, origin.row + 1 - dr);
    if (opposite == nullptr || sameRow == nullptr || sameColumn == nullptr) {
        return true;
    }
    const float expectedX = sameRow->x + sameColumn->x - opposite->x;
    const float expectedY = sameRow->y + sameColumn->y - opposite->y;
    const float cellWidth = std::fabs(sameColumn->x - opposite->x);
    const float cellHeight = std::fabs(sameRow->y - opposite->y);
    return std::fabs(candidate.x - expectedX) <= kExpectedTolerance * cellWidth &&
           std::fabs(candidate.y - expectedY) <= kExpectedTolerance * cellHeight;
}

// Least squares of value = a + b * column + c * row over the taken dots.
struct Plane {
    double a = 0, b = 0, c = 0;
    double at(int column, int row) const { return a + b * column + c * row; }
};

std::optional<Plane> fitPlane(const GridForm& form, const DotSet& dots, bool yAxis) {
    std::array<std::array<double, 4>, 3> m{};  // normal equations, right side last
    for (int k = 0; k < form.dots(); ++k) {
        if (!dots[static_cast<std::size_t>(k)]) {
            continue;
        }
        const RawPoint& p = *dots[static_cast<std::size_t>(k)];
        const std::array<double, 3> u{1.0, double(form.column(k)), double(form.row(k))};
        const double v = yAxis ? p.y : p.x;
        for (int r = 0; r < 3; ++r) {
            for (int s = 0; s < 3; ++s) {
                m[r][s] += u[r] * u[s];
            }
            m[r][3] += u[r] * v;
        }
    }
    // Gaussian elimination with partial pivoting; dots all in one line of
    // the grid leave the plane undetermined.
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 3; ++r) {
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) {
                pivot = r;
            }
        }
        if (std::fabs(m[pivot][col]) < 1e-9) {
            return std::nullopt;
        }
        std::swap(m[col], m[pivot]);
        for (int r = 0; r < 3; ++r) {
            if (r != col) {
                const double f = m[r][col] / m[col][col];
                for (int s = col; s < 4; ++s) {
                    m[r][s] -= f * m[col][s];
                }
            }
        }
    }
    return Plane{m[0][3] / m[0][0], m[1][3] / m[1][1], m[2][3] / m[2][2]};
}

bool agree(const GridForm& form, const DotSet& dots) {
    for (int k = 0; k < form.dots(); ++k) {
        if (dots[static_cast<std::size_t>(k)]) {
            DotSet others = dots;
            others[static_cast<std::size_t>(k)].reset();
            if (checkDot(form, others, k, *dots[static_cast<std::size_t>(k)]) != DotFault::None) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

DotFault checkDot(const GridForm& form, const DotSet& dots, int index, RawPoint candidate) {
    const int i = form.column(index);
    const int j = form.row(index);
    const float gap = kMinDotSpacing;
    // Order along the column and along the row.
    for (int r = 0; r < form.rows; ++r) {
        const RawPoint* dot = r == j ? nullptr : dotAt(form, dots, i, r);
        if (dot != nullptr && (r < j ? candidate.y - dot->y : dot->y - candidate.y) < gap) {
            return DotFault::WrongSide;
        }
    }
    for (int c = 0; c < form.columns; ++c) {
        const RawPoint* dot = c == i ? nullptr : dotAt(form, dots, c, j);
        if (dot != nullptr && (c < i ? candidate.x - dot->x : dot->x - candidate.x) < gap) {
            return DotFault::WrongSide;
        }
    }
    // The driver's own rule, both diagonal neighbours.
    if (const RawPoint* upperLeft = dotAt(form, dots, i - 1, j - 1);
        upperLeft != nullptr && !diagonalSpacingOk(candidate, *upperLeft)) {
        return DotFault::WrongSide;
    }
    if (const RawPoint* lowerRight = dotAt(form, dots, i + 1, j + 1);
        lowerRight != nullptr && !diagonalSpacingOk(*lowerRight, candidate)) {
        return DotFault::WrongSide;
    }
    // Every cell the dot is a corner of.
    for (const Cell origin : {Cell{i - 1, j - 1}, Cell{i, j - 1}, Cell{i - 1, j}, Cell{i, j}}) {
        if (origin.column >= 0 && origin.row >= 0 && origin.column + 1 < form.columns &&
            origin.row + 1 < form.rows && !fitsCell(form, dots, origin, {i, j}, candidate)) {
            return DotFault::FarFromExpected;
        }
    }
    return DotFault::None;
}

std::optional<int> strayDot(const GridForm& form, const DotSet& dots) {
    // Each dot in turn is left out and a plane fitted through the others.
    // Least squares spreads one stray dot over all the others, so the fit
    // without the stray one stands out by how much closer it comes.
    struct Fit {
        int left = -1;
        double othersOff = 0;  // the worst of the others, in cells
        double leftOff = 0;    // the dot left out
    };
    std::vector<Fit> fits;
    for (int k = 0; k < form.dots(); ++k) {
        const auto& suspect = dots[static_cast<std::size_t>(k)];
        if (!suspect) {
            continue;
        }
        DotSet others = dots;
        others[static_cast<std::size_t>(k)].reset();
        int count = 0;
        for (const auto& dot : others) {
            count += dot ? 1 : 0;
        }
        // Three dots always fit a plane: a fourth is the first evidence.
        if (count < 4 || !agree(form, others)) {
            continue;
        }
        const std::optional<Plane> px = fitPlane(form, others, false);
        const std::optional<Plane> py = fitPlane(form, others, true);
        if (!px || !py || px->b < kMinDotSpacing || py->c < kMinDotSpacing) {
            continue;
        }
        const auto off = [&](int d, RawPoint p) {
            return std::max(std::fabs(p.x - px->at(form.column(d), form.row(d))) / px->b,
                            std::fabs(p.y - py->at(form.column(d), form.row(d))) / py->c);
        };
        Fit fit{k, 0, off(k, *suspect)};
        for (int d = 0; d < form.dots(); ++d) {
            if (others[static_cast<std::size_t>(d)]) {
                fit.othersOff =
                    std::max(fit.othersOff, off(d, *others[static_cast<std::size_t>(d)]));
            }
        }
        fits.push_back(fit);
    }
    if (fits.empty()) {
        return std::nullopt;
    }
    std::sort(fits.begin(), fits.end(),
              [](const Fit& a, const Fit& b) { return a.othersOff < b.othersOff; });
    const Fit& best = fits.front();
    // The others must lie close to their plane (a board bends a little, not
    // by a cell), the dot left out well off it, and no other choice come near.
    const bool clear = fits.size() == 1 || fits[1].othersOff >= 2 * best.othersOff + 0.1;
    if (best.othersOff <= kPlaneTolerance && best.leftOff > kExpectedTolerance && clear) {
        return best.left;
    }
    return std::nullopt;
}

std::optional<GridPosition> gridPosition(const GridForm& form, const DotSet& dots, RawPoint raw) {
    const std::optional<Plane> px = fitPlane(form, dots, false);
    const std::optional<Plane> py = fitPlane(form, dots, true);
    if (!px || !py) {
        return std::nullopt;
    }
    // raw - a = [b c] (column, row) for each axis: a 2 x 2 system.
    const double det = px->b * py->c - px->c * py->b;
    if (std::fabs(det) < 1e-9) {
        return std::nullopt;
    }
    const double u = raw.x - px->a;
    const double v = raw.y - py->a;
    return GridPosition{(u * py->c - px->c * v) / det, (px->b * v - u * py->b) / det};
}

}  // namespace zorvan::calivo
