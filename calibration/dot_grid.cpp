#include "calibration/dot_grid.h"

namespace zorvan {

namespace {

// Scaling by a fraction is formed in double and stored as float.
float scaled(float value, double factor) {
    return static_cast<float>(value * factor);
}

}  // namespace

std::optional<GridForm> gridForm(std::int64_t dotCount) {
    switch (dotCount) {
        case 2:
            return GridForm{2, 2, 2};
        case 3:
            return GridForm{3, 3, 3};
        case 5:
            return GridForm{5, 5, 4};
        default:
            return std::nullopt;
    }
}

DotLayout dotLayout(std::int64_t dotCount, float width, float height) {
    DotLayout layout{scaled(width, 0.1), scaled(height, 0.1), 0.0f, 0.0f};
    switch (dotCount) {
        case 0:
        case 2:
            layout.stepX = scaled(width, 0.8);
            layout.stepY = scaled(height, 0.8);
            break;
        case 3:
            layout.stepX = static_cast<float>(width * 0.8 / 2);
            layout.stepY = static_cast<float>(height * 0.8 * 0.5);
            break;
        case 5:
            layout.stepX = static_cast<float>(width * 0.8 / 4);
            layout.stepY = static_cast<float>(height * 0.8 / 3);
            break;
        default:
            break;
    }
    return layout;
}

ScreenPoint dotScreenPoint(const DotLayout& layout, int column, int row) {
    return {static_cast<float>(column) * layout.stepX + layout.marginX,
            static_cast<float>(row) * layout.stepY + layout.marginY};
}

bool diagonalSpacingOk(RawPoint lowerRight, RawPoint upperLeft) {
    // Float differences against a double bound, as the load always compared.
    return !(lowerRight.x - upperLeft.x < static_cast<double>(kMinDotSpacing) ||
             lowerRight.y - upperLeft.y < static_cast<double>(kMinDotSpacing));
}

bool dotSpacingOk(const CalibrationTables& t) {
    bool ok = true;
    for (int i = 1; i < t.W_Dot; ++i) {
        for (int j = 0; j < t.H_Dot - 1; ++j) {
            const int lowerRight = CalibrationTables::index(i, j + 1);
            const int upperLeft = CalibrationTables::index(i - 1, j);
            if (!diagonalSpacingOk({t.Comm_X[lowerRight], t.Comm_Y[lowerRight]},
                                   {t.Comm_X[upperLeft], t.Comm_Y[upperLeft]})) {
                ok = false;
            }
        }
    }
    return ok;
}

}  // namespace zorvan
