#include "calibration/wb_coordinate.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "tests/calibration/calibration_test_support.h"

namespace zorvan {
namespace {

using testing::twoByTwo;

void expectWithinDisplay(const CalibrationTables& t, ScreenPoint p) {
    EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << p.x << ", " << p.y;
    EXPECT_GE(p.x, 0.0f);
    EXPECT_GE(p.y, 0.0f);
    EXPECT_LE(p.x, t.MyScreenWidth);
    EXPECT_LE(p.y, t.MyScreenHeight);
}

// Sweeps the whole raw range, with a margin outside it.
template <typename Check>
void forRawGrid(Check check) {
    for (float x = -64.0f; x <= 4160.0f; x += 32.0f) {
        for (float y = -64.0f; y <= 4160.0f; y += 32.0f) {
            check(x, y);
        }
    }
}

// --- 2 x 2 form -----------------------------------------------------------

TEST(WBCoordinate2x2, RectangularGridMapsExactlyAndClamps) {
    const auto t = twoByTwo({500, 400}, {3500, 400}, {500, 3600}, {3500, 3600});
    EXPECT_EQ(WBCoordinate(t, 2000, 2000), (ScreenPoint{500.0f, 400.0f}));
    EXPECT_EQ(WBCoordinate(t, 500, 400), (ScreenPoint{100.0f, 80.0f}));
    EXPECT_EQ(WBCoordinate(t, 2000, 3600), (ScreenPoint{500.0f, 720.0f}));
    EXPECT_EQ(WBCoordinate(t, 0, 0), (ScreenPoint{0.0f, 0.0f}));
    // The upper bounds are inclusive: the display size itself comes through.
    EXPECT_EQ(WBCoordinate(t, 4095, 4095), (ScreenPoint{1000.0f, 800.0f}));
}

TEST(WBCoordinate2x2, SkewedGridIsBitExact) {
    const auto t = twoByTwo({600, 500}, {3400, 450}, {700, 3500}, {3300, 3600});
    EXPECT_EQ(WBCoordinate(t, 2000, 2000), (ScreenPoint{500.0f, 397.39838f}));
    // 100.000015 is 100.00002 at eight significant digits: the float step in
    // the scale of the bottom edge shows through.
    EXPECT_EQ(WBCoordinate(t, 700, 3500).x, 100.000015f);
    const ScreenPoint tl = WBCoordinate(t, 600, 500);
    const ScreenPoint tr = WBCoordinate(t, 3400, 450);
    const ScreenPoint br = WBCoordinate(t, 3300, 3600);
    EXPECT_NEAR(tl.x, 100.0f, 1e-3f);
    EXPECT_NEAR(tl.y, 80.0f, 1e-3f);
    EXPECT_NEAR(tr.x, 900.0f, 1e-3f);
    EXPECT_NEAR(tr.y, 80.0f, 1e-3f);
    EXPECT_NEAR(br.x, 900.0f, 1e-3f);
    EXPECT_EQ(br.y, 720.0f);  // on the bottom edge line: exactly SY(BR)
}

TEST(WBCoordinate2x2, PointOnTheBottomEdgeLineTakesItsScreenYExactly) {
    // Bottom edge from (700, 3500) to (3300, 3600): at x = 2000 it is at 3550.
    const auto t = twoByTwo({600, 500}, {3400, 450}, {700, 3500}, {3300, 3600});
    EXPECT_EQ(WBCoordinate(t, 2000, 3550).y, 720.0f);
}

// The cell (c, r) of `t` alone, as a 2 x 2 grid, to tell which cell served.
CalibrationTables onlyCell(const CalibrationTables& t, int c, int r) {
    auto single = t;
    single.W_Dot = 2;
    for (int j = 0; j < 2; ++j) {
        for (int i = 0; i < 2; ++i) {
            const int from = CalibrationTables::index(c + i, r + j);
            const int to = CalibrationTables::index(i, j);
            single.Comm_X[to] = t.Comm_X[from];
            single.Comm_Y[to] = t.Comm_Y[from];
            single.Scr_DotX[to] = t.Scr_DotX[from];
            single.Scr_DotY[to] = t.Scr_DotY[from];
        }
    }
    return single;
}

// Jitters every raw dot a little so that neighbouring cells extrapolate to
// different screen points.
CalibrationTables jittered(CalibrationTables t) {
    for (int e = 0; e < CalibrationTables::kGridSize; ++e) {
        t.Comm_X[e] += static_cast<float>((e * 37) % 23) - 11.0f;
        t.Comm_Y[e] += static_cast<float>((e * 53) % 19) - 9.0f;
    }
    return t;
}

// The point is mapped by cell `served`, and the other candidate cell would
// have given a different point (otherwise the check proves nothing).
void expectServedBy(const CalibrationTables& t, float x, float y, std::pair<int, int> served,
                    std::pair<int, int> other) {
    const ScreenPoint got = WBCoordinate(t, x, y);
    EXPECT_EQ(got, WBCoordinate(onlyCell(t, served.first, served.second), x, y))
        << "raw (" << x << ", " << y << ")";
    EXPECT_NE(got, WBCoordinate(onlyCell(t, other.first, other.second), x, y))
        << "raw (" << x << ", " << y << ")";
}

// --- 3 x 3 form -----------------------------------------------------------

// Raw dots on a regular lattice: column i at x = 500 + 1500 i, row j at
// y = 400 + 1600 j; screen dots of a 1920 x 1080 display.
CalibrationTables threeByThree() {
    CalibrationTables t;
    t.W_Dot = 3;
    t.H_Dot = 3;
    t.MyScreenWidth = 1920.0f;
    t.MyScreenHeight = 1080.0f;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const int e = CalibrationTables::index(i, j);
            t.Comm_X[e] = 500.0f + 1500.0f * static_cast<float>(i);
            t.Comm_Y[e] = 400.0f + 1600.0f * static_cast<float>(j);
            t.Scr_DotX[e] = 192.0f + 768.0f * static_cast<float>(i);
            t.Scr_DotY[e] = 108.0f + 432.0f * static_cast<float>(j);
        }
    }
    return t;
}

TEST(WBCoordinate3x3, LatticeMapsDotsAndCentresExactly) {
    const auto t = threeByThree();
    EXPECT_EQ(WBCoordinate(t, 2000, 2000), (ScreenPoint{960.0f, 540.0f}));
    EXPECT_EQ(WBCoordinate(t, 3500, 3600), (ScreenPoint{1728.0f, 972.0f}));
    EXPECT_EQ(WBCoordinate(t, 1250, 1200), (ScreenPoint{576.0f, 324.0f}));
    EXPECT_EQ(WBCoordinate(t, 2750, 2800), (ScreenPoint{1344.0f, 756.0f}));
}

TEST(WBCoordinate3x3, TiesGoToTheLeftColumnAndTheTopRow) {
    const auto t = jittered(threeByThree());
    const float x11 = t.Comm_X[CalibrationTables::index(1, 1)];
    const float y11 = t.Comm_Y[CalibrationTables::index(1, 1)];
    expectServedBy(t, x11, 1000, {0, 0}, {1, 0});
    expectServedBy(t, 1000, y11, {0, 0}, {0, 1});
    expectServedBy(t, std::nextafter(x11, 5000.0f), 1000, {1, 0}, {0, 0});
}

TEST(WBCoordinate3x3, RightColumnSplitsAtTheLeftColumnsMiddleDot) {
    auto t = jittered(threeByThree());
    t.Comm_Y[CalibrationTables::index(0, 1)] = 1500.0f;
    t.Comm_Y[CalibrationTables::index(1, 1)] = 1600.0f;
    expectServedBy(t, 2500, 1550, {1, 1}, {1, 0});
    expectServedBy(t, 2500, 1500, {1, 0}, {1, 1});
}

// --- 5 x 4 form -----------------------------------------------------------

// Five columns at x = 300 + 850 i, four rows at y = 300 + 1150 j; screen dots
// of a 1920 x 1080 display.
CalibrationTables fiveByFour(bool irregular = false) {
    constexpr float kColumns[] = {300, 900, 2100, 2800, 3800};
    constexpr float kRows[] = {300, 900, 2400, 3800};
    CalibrationTables t;
    t.W_Dot = 5;
    t.H_Dot = 4;
    t.MyScreenWidth = 1920.0f;
    t.MyScreenHeight = 1080.0f;
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 4; ++j) {
            const int e = CalibrationTables::index(i, j);
            t.Comm_X[e] = irregular ? kColumns[i] : 300.0f + 850.0f * static_cast<float>(i);
            t.Comm_Y[e] = irregular ? kRows[j] : 300.0f + 1150.0f * static_cast<float>(j);
            t.Scr_DotX[e] = 192.0f + 384.0f * static_cast<float>(i);
            t.Scr_DotY[e] = 108.0f + 288.0f * static_cast<float>(j);
        }
    }
    return t;
}

TEST(WBCoordinate5x4, LatticeMapsDotsExactly) {
    const auto t = fiveByFour();
    EXPECT_EQ(WBCoordinate(t, 300, 300), (ScreenPoint{192.0f, 108.0f}));
    EXPECT_EQ(WBCoordinate(t, 2000, 1450), (ScreenPoint{960.0f, 396.0f}));
    EXPECT_EQ(WBCoordinate(t, 3700, 3750), (ScreenPoint{1728.0f, 972.0f}));
}

TEST(WBCoordinate5x4, CellChoiceFollowsTheTwelveTestsInOrder) {
    const auto t = jittered(fiveByFour(true));
    const auto X = [&t](int i, int j) { return t.Comm_X[CalibrationTables::index(i, j)]; };
    const auto Y = [&t](int i, int j) { return t.Comm_Y[CalibrationTables::index(i, j)]; };
    // Ties, each tested away from the dots (where neighbouring cells agree).
    // x == X(1,1) belongs to cell column 1, y == Y(2,1) to cell row 1.
    expectServedBy(t, X(1, 1), Y(1, 1) - 300, {1, 0}, {0, 0});
    expectServedBy(t, 1500, Y(2, 1), {1, 1}, {1, 0});
    // Test 1 is strict in y; test 3 admits y == Y(1,2).
    const float left = std::min(X(1, 1), X(1, 2)) - 300;
    expectServedBy(t, left, Y(1, 1), {0, 1}, {0, 0});
    expectServedBy(t, left, Y(1, 2), {0, 2}, {0, 1});
    expectServedBy(t, X(2, 1), Y(3, 1) - 300, {2, 0}, {1, 0});
    expectServedBy(t, std::max(X(3, 1), X(3, 2)) + 300, Y(3, 1), {3, 1}, {3, 0});
    // Test 12 admits both equalities.
    expectServedBy(t, std::max(X(3, 1), X(3, 2)), Y(3, 2) + 300, {3, 2}, {2, 2});
    expectServedBy(t, std::max(X(3, 1), X(3, 2)) + 300, Y(3, 2), {3, 2}, {3, 1});
    // Outside the grid: extrapolated from the border cells.
    expectServedBy(t, 4095, 4095, {3, 2}, {2, 2});
    expectServedBy(t, 0, 0, {0, 0}, {1, 0});
}

TEST(WBCoordinate5x4, BottomLeftTestComesBeforeTheMiddleColumn) {
    auto t = fiveByFour();
    // Dot (1,2) right of dot (1,1): a point between them at row 2 passes
    // test 3 before test 6 could take it.
    t.Comm_X[CalibrationTables::index(1, 2)] = 1300.0f;
    t = jittered(t);
    const float x = t.Comm_X[CalibrationTables::index(1, 1)] + 50.0f;
    const float y = t.Comm_Y[CalibrationTables::index(1, 2)] + 10.0f;
    expectServedBy(t, x, y, {0, 2}, {1, 2});
}

TEST(WBCoordinate5x4, SliversWithoutACellUseTheirBottomRowCell) {
    auto t = fiveByFour();
    // Dot (1,2) left of dot (1,1), dot (3,2) right of dot (3,1).
    t.Comm_X[CalibrationTables::index(1, 2)] = 1000.0f;
    t.Comm_X[CalibrationTables::index(3, 2)] = 2900.0f;
    t = jittered(t);
    const float y = t.Comm_Y[CalibrationTables::index(3, 2)] + 100.0f;
    const float leftSliver = 1050.0f;   // X(1,2) <= x < X(1,1)
    const float rightSliver = 2860.0f;  // X(3,1) <= x < X(3,2)
    ASSERT_LT(leftSliver, t.Comm_X[CalibrationTables::index(1, 1)]);
    ASSERT_GE(rightSliver, t.Comm_X[CalibrationTables::index(3, 1)]);

    expectServedBy(t, leftSliver, y, {1, 2}, {0, 2});
    expectServedBy(t, rightSliver, y, {2, 2}, {3, 2});
    forRawGrid([&t](float x, float yy) { expectWithinDisplay(t, WBCoordinate(t, x, yy)); });
}

TEST(WBCoordinate5x4, AnyOtherColumnCountUsesTheFiveByFourCells) {
    auto t = jittered(fiveByFour());
    const ScreenPoint expected = WBCoordinate(t, 2222, 2333);
    for (const int w : {-7, 0, 1, 4, 6, 1000}) {
        t.W_Dot = w;
        EXPECT_EQ(WBCoordinate(t, 2222, 2333), expected) << "W_Dot " << w;
    }
}

// --- Fallbacks: every raw point maps to a finite point within the display --

TEST(WBCoordinateFallback, AllZeroTablesBeforeTheFirstLoad) {
    const CalibrationTables t;  // start values: W_Dot 3, display 0 x 0
    forRawGrid([&t](float x, float y) {
        EXPECT_EQ(WBCoordinate(t, x, y), (ScreenPoint{0.0f, 0.0f}));
    });
}

TEST(WBCoordinateFallback, DegenerateCellsMapProportionally) {
    // An edge whose two dots share their raw x.
    auto sharedX = twoByTwo({500, 400}, {500, 450}, {500, 3600}, {3500, 3600});
    EXPECT_EQ(WBCoordinate(sharedX, 4095.0f / 2, 4095.0f / 2), (ScreenPoint{500.0f, 400.0f}));
    forRawGrid(
        [&](float x, float y) { expectWithinDisplay(sharedX, WBCoordinate(sharedX, x, y)); });

    // Screen dots less than one pixel apart, as after "DotCount" 1 or 4.
    auto flat = twoByTwo({500, 400}, {3500, 400}, {500, 3600}, {3500, 3600});
    for (int e = 0; e < CalibrationTables::kGridSize; ++e) {
        flat.Scr_DotX[e] = 100.0f;
        flat.Scr_DotY[e] = 80.0f;
    }
    flat.Scr_DotX[CalibrationTables::index(1, 0)] = 100.9f;
    EXPECT_EQ(WBCoordinate(flat, 0, 4095), (ScreenPoint{0.0f, 800.0f}));
    for (const int w : {2, 3, 4, 1}) {
        flat.W_Dot = w;
        forRawGrid([&](float x, float y) { expectWithinDisplay(flat, WBCoordinate(flat, x, y)); });
    }

    // Edges that cross at x make the blend divide by zero.
    auto crossed = twoByTwo({500, 400}, {3500, 3600}, {500, 3600}, {3500, 400});
    forRawGrid(
        [&](float x, float y) { expectWithinDisplay(crossed, WBCoordinate(crossed, x, y)); });
}

TEST(WBCoordinateFallback, NonFiniteTableValuesNeverLeak) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const int w : {2, 3, 5}) {
        for (const float bad : {nan, inf, -inf, 3e38f}) {
            for (const int e : {0, 6, 12}) {
                auto t = w == 5 ? jittered(fiveByFour()) : threeByThree();
                if (w == 2) {
                    t = twoByTwo({500, 400}, {3500, 400}, {500, 3600}, {3500, 3600});
                }
                t.Comm_X[e] = bad;
                t.Comm_Y[e + 1] = bad;
                forRawGrid(
                    [&](float x, float y) { expectWithinDisplay(t, WBCoordinate(t, x, y)); });
            }
        }
    }
}

TEST(WBCoordinateFallback, NonFiniteRawInputClampsToTheOrigin) {
    const auto t = twoByTwo({500, 400}, {3500, 400}, {500, 3600}, {3500, 3600});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    expectWithinDisplay(t, WBCoordinate(t, nan, 100));
    expectWithinDisplay(t, WBCoordinate(t, 100, nan));
    expectWithinDisplay(t, WBCoordinate(t, std::numeric_limits<float>::infinity(), 100));
}

}  // namespace
}  // namespace zorvan
