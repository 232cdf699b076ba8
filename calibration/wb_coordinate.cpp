#include "calibration/wb_coordinate.h"

#include <cmath>
#include <optional>

namespace zorvan {

namespace {

struct Cell {
    int column = 0;
    int row = 0;
};

struct Grid {
    const CalibrationTables& t;
    float X(int i, int j) const { return t.Comm_X[CalibrationTables::index(i, j)]; }
    float Y(int i, int j) const { return t.Comm_Y[CalibrationTables::index(i, j)]; }
    float SX(int i, int j) const { return t.Scr_DotX[CalibrationTables::index(i, j)]; }
    float SY(int i, int j) const { return t.Scr_DotY[CalibrationTables::index(i, j)]; }
};

Cell cellOf3x3(const Grid& g, float x, float y) {
    if (x <= g.X(1, 1)) {
        return y <= g.Y(1, 1) ? Cell{0, 0} : Cell{0, 1};
    }
    // The right-hand column splits at the left column's middle dot.
    return y <= g.Y(0, 1) ? Cell{1, 0} : Cell{1, 1};
}

Cell cellOf5x4(const Grid& g, float x, float y) {
    const float x11 = g.X(1, 1), x12 = g.X(1, 2), x21 = g.X(2, 1), x31 = g.X(3, 1), x32 = g.X(3, 2);
    if (x < x11 && y < g.Y(1, 1))
        return {0, 0};
    if (x < x11 && y < g.Y(1, 2))
        return {0, 1};
    if (x < x12 && y >= g.Y(1, 2))
        return {0, 2};
    if (x11 <= x && x < x21 && y < g.Y(2, 1))
        return {1, 0};
    if (x11 <= x && x < x21 && y < g.Y(2, 2))
        return {1, 1};
    if (x11 <= x && x < x21)
        return {1, 2};
    if (x21 <= x && x < x31 && y < g.Y(3, 1))
        return {2, 0};
    if (x21 <= x && x < x31 && y < g.Y(3, 2))
        return {2, 1};
    if (x21 <= x && x < x31)
        return {2, 2};
    if (x >= x31 && y < g.Y(3, 1))
        return {3, 0};
    if (x >= x31 && y < g.Y(3, 2))
        return {3, 1};
    if (x >= x32 && y >= g.Y(3, 2))
        return {3, 2};
    // None of the twelve: the point lies at or below a row-2 bound, between
    // the column bounds of rows 1 and 2 (X(1,2) <= x < X(1,1), or
    // X(3,1) <= x < X(3,2)). Row 2's own bounds decide its cell.
    if (x < x12)
        return {0, 2};
    if (x < x21)
        return {1, 2};
    if (x < x32)
        return {2, 2};
    return {3, 2};
}

// The cell mapping, step for step in the float and double widths the results
// are compared in. Empty when the cell cannot map the point.
std::optional<ScreenPoint> mapThroughCell(const Grid& g, Cell c, float x, float y) {
    const int i = c.column, j = c.row;
    const float xTL = g.X(i, j), yTL = g.Y(i, j);
    const float xTR = g.X(i + 1, j), yTR = g.Y(i + 1, j);
    const float xBL = g.X(i, j + 1), yBL = g.Y(i, j + 1);
    const float xBR = g.X(i + 1, j + 1), yBR = g.Y(i + 1, j + 1);

    // Pixel counts between the screen dots of each edge, whole pixels.
    const float pixelsTop = std::fabs(std::trunc(g.SX(i, j) - g.SX(i + 1, j)));
    const float pixelsBot = std::fabs(std::trunc(g.SX(i + 1, j + 1) - g.SX(i, j + 1)));
    if (xTL == xTR || xBL == xBR || !(pixelsTop >= 1.0f) || !(pixelsBot >= 1.0f)) {
        return std::nullopt;
    }

    const float yTop = (xTL * yTR - xTR * yTL) / (xTL - xTR) + ((yTL - yTR) / (xTL - xTR)) * x;
    const float yBot = (xBL * yBR - xBR * yBL) / (xBL - xBR) + ((yBL - yBR) / (xBL - xBR)) * x;

    const float dxTop = xTL - xTR, dyTop = yTL - yTR;
    const float dxBot = xBL - xBR, dyBot = yBR - yBL;
    const float kTop =
        static_cast<float>(std::sqrt(static_cast<double>(dxTop * dxTop + dyTop * dyTop)) /
                           static_cast<double>(pixelsTop));
    const float kBot =
        static_cast<float>(std::sqrt(static_cast<double>(dxBot * dxBot + dyBot * dyBot)) /
                           static_cast<double>(pixelsBot));

    const float axTop = x - xTL, ayTop = yTop - yTL;
    double dTop = std::sqrt(static_cast<double>(axTop * axTop + ayTop * ayTop));
    if (x < xTL) {
        dTop = -dTop;
    }
    const float sxTop = static_cast<float>(static_cast<double>(g.SX(i, j)) + dTop / kTop);

    const float axBot = x - xBR, ayBot = yBot - yBR;
    double dBot = std::sqrt(static_cast<double>(axBot * axBot + ayBot * ayBot));
    if (x < xBR) {
        dBot = -dBot;
    }
    const float sxBot = static_cast<float>(static_cast<double>(g.SX(i + 1, j + 1)) + dBot / kBot);

    ScreenPoint r;
    if (yBot == y) {
        r = {sxBot, g.SY(i + 1, j + 1)};
    } else {
        const float lambda = (y - yTop) / (yBot - y);
        r.x = (sxTop + lambda * sxBot) / (1 + lambda);
        r.y = (g.SY(i, j) + lambda * g.SY(i + 1, j + 1)) / (1 + lambda);
    }
    if (!std::isfinite(r.x) || !std::isfinite(r.y)) {
        return std::nullopt;
    }
    return r;
}

// Board raw range 0..4095 spread over the whole display.
ScreenPoint mapProportionally(const CalibrationTables& t, float x, float y) {
    return {x / 4095.0f * t.MyScreenWidth, y / 4095.0f * t.MyScreenHeight};
}

// min(bound, max(0, v)), lower bound first. NaN and -0 become +0, and a
// bound that is not a usable size ends at 0 as well.
float clampTo(float v, float bound) {
    if (!(v > 0.0f)) {
        v = 0.0f;
    }
    if (v > bound) {
        v = bound;
    }
    return (v >= 0.0f && std::isfinite(v)) ? v : 0.0f;
}

}  // namespace

ScreenPoint WBCoordinate(const CalibrationTables& tables, float x, float y) {
    const Grid g{tables};
    Cell cell;
    switch (tables.W_Dot) {
        case 2:
            cell = {0, 0};
            break;
        case 3:
            cell = cellOf3x3(g, x, y);
            break;
        default:
            cell = cellOf5x4(g, x, y);
            break;
    }
    const std::optional<ScreenPoint> throughCell = mapThroughCell(g, cell, x, y);
    const ScreenPoint mapped = throughCell ? *throughCell : mapProportionally(tables, x, y);
    return {clampTo(mapped.x, tables.MyScreenWidth), clampTo(mapped.y, tables.MyScreenHeight)};
}

}  // namespace zorvan
