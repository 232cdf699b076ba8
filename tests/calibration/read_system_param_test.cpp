#include "calibration/read_system_param.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/calibration/calibration_test_support.h"

namespace zorvan {
namespace {

using testing::FixedDisplay;
using testing::saveGrid;
using Kind = MemorySettingsStore::Access::Kind;

constexpr std::int64_t kPid = 4242;

struct Load {
    CalibrationTables tables;
    MemorySettingsStore store;
    FixedDisplay display{1920, 1080};
    std::atomic<bool> bGet{true};
    int alerts = 0;

    bool run() {
        return ReadSystemParam(tables, store, display, kPid, bGet, [this] { ++alerts; });
    }
    float sx(int i, int j) const { return tables.Scr_DotX[CalibrationTables::index(i, j)]; }
    float sy(int i, int j) const { return tables.Scr_DotY[CalibrationTables::index(i, j)]; }
};

// A well-spaced 3 x 3 grid: column i at raw x 500 + 1500 i, row j at 400 + 1600 j.
void saveGood3x3(MemorySettingsStore& store) {
    saveGrid(store, 3,
             {{500, 400},
              {500, 2000},
              {500, 3600},
              {2000, 400},
              {2000, 2000},
              {2000, 3600},
              {3500, 400},
              {3500, 2000},
              {3500, 3600}});
}

void saveSoftKeys(MemorySettingsStore& store, char mode, float y0, float y1, float y2) {
    store.setFloat(softKeyKey(mode, 0, 'y'), y0);
    store.setFloat(softKeyKey(mode, 1, 'y'), y1);
    store.setFloat(softKeyKey(mode, 2, 'y'), y2);
}

// --- Screen positions of the dots ---------------------------------------

TEST(ReadSystemParamScreen, DotsSpanTenToNinetyPercentForEachForm) {
    struct Form {
        int dotCount;
        std::vector<float> xs, ys;
    };
    const Form forms[] = {
        {0, {192, 1728}, {108, 972}},
        {2, {192, 1728}, {108, 972}},
        {3, {192, 960, 1728}, {108, 540, 972}},
        {5, {192, 576, 960, 1344, 1728}, {108, 396, 684, 972}},
    };
    for (const Form& form : forms) {
        Load load;
        load.store.setInteger("DotCount", form.dotCount);
        load.run();
        ASSERT_EQ(load.tables.W_Dot, static_cast<int>(form.xs.size()));
        ASSERT_EQ(load.tables.H_Dot, static_cast<int>(form.ys.size()));
        EXPECT_EQ(load.tables.MyScreenWidth, 1920.0f);
        EXPECT_EQ(load.tables.MyScreenHeight, 1080.0f);
        for (std::size_t i = 0; i < form.xs.size(); ++i) {
            for (std::size_t j = 0; j < form.ys.size(); ++j) {
                const int c = static_cast<int>(i), r = static_cast<int>(j);
                EXPECT_EQ(load.sx(c, r), form.xs[i]) << "form " << form.dotCount;
                EXPECT_EQ(load.sy(c, r), form.ys[j]) << "form " << form.dotCount;
            }
        }
    }
}

TEST(ReadSystemParamScreen, DisplayIsSampledAtEveryLoadAndZeroSizeGivesZeroPositions) {
    Load load;
    saveGood3x3(load.store);
    load.run();
    EXPECT_EQ(load.sx(2, 2), 1728.0f);
    load.display.set(0, 0);
    load.run();
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(load.sx(i, j), 0.0f);
            EXPECT_EQ(load.sy(i, j), 0.0f);
        }
    }
    EXPECT_EQ(load.tables.MyScreenWidth, 0.0f);
}

// --- Store accesses ----------------------------------------------------

TEST(ReadSystemParamStore, AccessesComeInTheDocumentedOrder) {
    Load load;
    saveGrid(load.store, 3, {});  // all dots missing: the check fails, the alert shows
    std::vector<MemorySettingsStore::Access> log;
    load.store.setAccessHook([&log](const MemorySettingsStore::Access& a) { log.push_back(a); });
    ReadSystemParam(load.tables, load.store, load.display, kPid, load.bGet, [&log] {
        log.push_back({Kind::Synchronize, "<alert>"});
    });

    std::vector<MemorySettingsStore::Access> expected{{Kind::WriteInteger, "ZorvanPid"},
                                                      {Kind::Synchronize, ""},
                                                      {Kind::ReadInteger, "DotCount"}};
    for (const char axis : {'x', 'y'}) {
        for (int k = 0; k < 9; ++k) {
            expected.push_back({Kind::ReadFloat, dotKey(k, axis)});
        }
    }
    expected.push_back({Kind::Synchronize, "<alert>"});
    for (const char mode : {'T', 'E'}) {
        for (const int key : {0, 1, 2, 12, 26}) {
            expected.push_back({Kind::ReadFloat, softKeyKey(mode, key, 'x')});
            expected.push_back({Kind::ReadFloat, softKeyKey(mode, key, 'y')});
        }
    }
    EXPECT_EQ(log, expected);
    EXPECT_EQ(load.store.integerForKey("ZorvanPid"), kPid);
}

TEST(ReadSystemParamStore, DotKeysAreNumberedColumnByColumn) {
    EXPECT_EQ(dotKey(0, 'x'), "Dot0.x");
    EXPECT_EQ(dotKey(19, 'y'), "Dot19.y");
    EXPECT_EQ(softKeyKey('T', 26, 'x'), "TKey26.x");
    EXPECT_EQ(softKeyKey('E', 12, 'y'), "EKey12.y");

    Load load;
    // Form 5 has four rows: dot 5 is column 1, row 1; dot 19 the bottom right.
    load.store.setInteger("DotCount", 5);
    load.store.setFloat("Dot5.x", 1111);
    load.store.setFloat("Dot19.y", 3999);
    load.run();
    EXPECT_EQ(load.tables.Comm_X[CalibrationTables::index(1, 1)], 1111.0f);
    EXPECT_EQ(load.tables.Comm_Y[23], 3999.0f);
}

// --- Built-in grid -----------------------------------------------------

TEST(ReadSystemParamBuiltIn, MissingDotCountTakesTheBuiltInGridAndKeepsTheLimits) {
    Load load;
    saveSoftKeys(load.store, 'T', 100, 300, 500);  // would give 30 if computed
    load.store.setFloat("TKey12.x", 2048);
    EXPECT_FALSE(load.run());
    const auto& t = load.tables;
    EXPECT_EQ(t.W_Dot, 2);
    EXPECT_EQ(t.H_Dot, 2);
    EXPECT_EQ(t.Comm_X[0], 876.75f);
    EXPECT_EQ(t.Comm_Y[0], 1056.5f);
    EXPECT_EQ(t.Comm_Y[1], 2644.625f);
    EXPECT_EQ(t.Comm_X[5], 3178.5f);
    EXPECT_EQ(t.Comm_X[6], 3083.125f);
    EXPECT_EQ(t.Comm_Y[6], 3823.875f);
    EXPECT_EQ(t.Btn_T, 25);
    EXPECT_EQ(t.Btn_E, 25);
    EXPECT_EQ(t.DIS_LIMIT, 90);
    EXPECT_EQ(t.ptTBtn[12].x, 2048.0f);  // the soft keys are still read
    EXPECT_EQ(load.alerts, 0);
    EXPECT_TRUE(load.bGet);
}

TEST(ReadSystemParamBuiltIn, DoesNotTouchAFailedCheckFlag) {
    Load load;
    load.bGet = false;
    EXPECT_FALSE(load.run());
    EXPECT_FALSE(load.bGet);
    EXPECT_EQ(load.alerts, 0);
}

// --- Spacing check -----------------------------------------------------

TEST(ReadSystemParamSpacing, ExactlyTwentyPassesAndLessFails) {
    struct Case {
        float dx, dy;
        bool passes;
    };
    for (const Case c :
         {Case{20.0f, 20.0f, true}, Case{19.9f, 20.0f, false}, Case{20.0f, 19.9f, false}}) {
        Load load;
        saveGrid(load.store, 2, {{500, 400}, {500, 3600}, {3500, 400}, {500 + c.dx, 400 + c.dy}});
        saveSoftKeys(load.store, 'T', 100, 180, 260);
        EXPECT_TRUE(load.run());
        EXPECT_EQ(load.bGet, c.passes) << c.dx << ", " << c.dy;
        EXPECT_EQ(load.alerts, c.passes ? 0 : 1);
        // A passing span of 20 gives the floor; a failing one leaves the start value.
        EXPECT_EQ(load.tables.DIS_LIMIT, c.passes ? 50 : 90);
        if (!c.passes) {
            // The grid stays and the rest of the load goes on.
            EXPECT_EQ(load.tables.Comm_X[6], 500 + c.dx);
            EXPECT_EQ(load.tables.Btn_T, 24);
            EXPECT_EQ(load.sx(1, 1), 1728.0f);
        }
    }
}

TEST(ReadSystemParamSpacing, FailedCheckLeavesDisLimitAndKeepsAlertingUntilReset) {
    Load load;
    saveGrid(load.store, 2, {{500, 400}, {500, 3600}, {3500, 400}, {510, 3600}});
    load.run();
    EXPECT_EQ(load.alerts, 1);
    EXPECT_EQ(load.tables.DIS_LIMIT, 90);

    saveGrid(load.store, 2, {{500, 400}, {500, 3600}, {3500, 400}, {3500, 3600}});
    load.run();
    EXPECT_EQ(load.alerts, 2) << "a good grid still alerts until bGet is set again";
    EXPECT_EQ(load.tables.DIS_LIMIT, 90);

    load.bGet = true;  // what SIGUSR1 does
    load.run();
    EXPECT_EQ(load.alerts, 2);
    EXPECT_EQ(load.tables.DIS_LIMIT, 100);
}

TEST(ReadSystemParamSpacing, OnlyDiagonalNeighboursAreCompared) {
    Load load;
    saveGood3x3(load.store);
    load.store.setFloat("Dot3.x", 400);  // column 1, row 0: left of dot 0
    load.run();
    EXPECT_TRUE(load.bGet);
    EXPECT_EQ(load.alerts, 0);
}

TEST(ReadSystemParamSpacing, AllDotsMissingFailsTheCheck) {
    Load load;
    load.store.setInteger("DotCount", 5);
    EXPECT_TRUE(load.run());
    EXPECT_FALSE(load.bGet);
    EXPECT_EQ(load.alerts, 1);
    EXPECT_EQ(load.tables.DIS_LIMIT, 90);
}

// --- Distance limit ----------------------------------------------------

TEST(ReadSystemParamLimits, DisLimitFollowsTheSpanWithinItsBounds) {
    for (const auto& [span, limit] : {std::pair{3000.0f, 100}, std::pair{2999.0f, 99},
                                      std::pair{1200.0f, 50}, std::pair{4000.0f, 120}}) {
        Load load;
        saveGrid(load.store, 2, {{50, 400}, {50, 3600}, {3500, 400}, {50 + span, 3600}});
        load.run();
        ASSERT_TRUE(load.bGet);
        EXPECT_EQ(load.tables.DIS_LIMIT, limit) << "span " << span;
    }
}

TEST(ReadSystemParamLimits, NegativeSpanGivesTheFloor) {
    // Form 5 checks diagonal chains that never link the first and the last
    // dot: raw x = 2500 - 400 i + 420 j passes with the last dot left of the first.
    Load load;
    load.store.setInteger("DotCount", 5);
    for (int k = 0; k < 20; ++k) {
        const int i = k / 4, j = k % 4;
        load.store.setFloat(dotKey(k, 'x'), static_cast<float>(2500 - 400 * i + 420 * j));
        load.store.setFloat(dotKey(k, 'y'), static_cast<float>(300 + 1150 * j));
    }
    load.run();
    ASSERT_TRUE(load.bGet);
    ASSERT_LT(load.tables.Comm_X[23], load.tables.Comm_X[0]);
    EXPECT_EQ(load.tables.DIS_LIMIT, 50);
}

TEST(ReadSystemParamLimits, SoftKeyTolerancesAreClampedPerMode) {
    struct Case {
        float y0, y1, y2;
        int tolerance;
    };
    for (const Case c : {Case{100, 180, 260, 24}, Case{0, 57, 114, 18}, Case{100, 300, 500, 30},
                         Case{0, 0, 0, 18}}) {
        Load load;
        saveGood3x3(load.store);
        saveSoftKeys(load.store, 'T', c.y0, c.y1, c.y2);
        saveSoftKeys(load.store, 'E', c.y2, c.y1, c.y0);  // reversed: negative spread
        load.run();
        EXPECT_EQ(load.tables.Btn_T, c.tolerance) << c.y0 << " " << c.y1 << " " << c.y2;
        EXPECT_EQ(load.tables.Btn_E, 18);
    }
}

// --- Forms that are not grid forms ---------------------------------------

TEST(ReadSystemParamForms, DotCountFourKeepsTheGridAndPlacesTheBlockAtTheMargin) {
    Load load;
    load.store.setInteger("DotCount", 4);
    saveSoftKeys(load.store, 'E', 100, 180, 260);
    for (int k = 0; k < 20; ++k) {
        load.store.setFloat(dotKey(k, 'x'), 999);  // must not be read
    }
    EXPECT_TRUE(load.run());
    const auto& t = load.tables;
    EXPECT_EQ(t.W_Dot, 4);
    EXPECT_EQ(t.H_Dot, 3);
    EXPECT_EQ(t.Comm_X[0], 0.0f);
    EXPECT_EQ(t.Btn_E, 24);
    EXPECT_EQ(t.DIS_LIMIT, 90);
    EXPECT_EQ(load.alerts, 0);
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
            const bool inBlock = i < 4 && j < 3;
            EXPECT_EQ(load.sx(i, j), inBlock ? 192.0f : 0.0f) << i << "," << j;
            EXPECT_EQ(load.sy(i, j), inBlock ? 108.0f : 0.0f) << i << "," << j;
        }
    }
    for (const auto& a : load.store.accesses()) {
        EXPECT_NE(a.key.rfind("Dot", 0) == 0 && a.key != "DotCount", true) << a.key;
    }
}

TEST(ReadSystemParamForms, OutOfRangeDotCountNeverWritesBeyondTheTables) {
    for (const std::int64_t dotCount :
         {std::int64_t{6}, std::int64_t{1000}, std::int64_t{-1}, std::int64_t{-1000},
          std::numeric_limits<std::int64_t>::max(), std::int64_t{1} << 32 | 2}) {
        Load load;
        saveGood3x3(load.store);
        load.run();  // a good 3 x 3 first
        const CalibrationTables before = load.tables;
        load.store.setInteger("DotCount", dotCount);
        EXPECT_TRUE(load.run());
        const auto& t = load.tables;
        EXPECT_EQ(t.Comm_X, before.Comm_X);
        EXPECT_EQ(t.H_Dot, 3);
        if (dotCount > 0) {
            EXPECT_GT(t.W_Dot, 5) << dotCount;  // never mistaken for a grid form
            for (int i = 0; i < 5; ++i) {
                EXPECT_EQ(load.sx(i, 2), 192.0f) << dotCount;  // all five columns, at the margin
            }
        } else {
            EXPECT_LT(t.W_Dot, 0);
            EXPECT_EQ(t.Scr_DotX, before.Scr_DotX) << "a negative count places nothing";
        }
    }
}

// --- Values from a hand-edited store -------------------------------------

TEST(ReadSystemParamStore, NonFiniteValuesReadAsZero) {
    Load load;
    saveGood3x3(load.store);
    load.store.setString("Dot4.x", "nan");
    load.store.setString("Dot8.y", "inf");
    load.store.setString("TKey2.y", "inf");
    load.store.setString("EKey0.y", "-inf");
    load.store.setString("EKey26.x", "nan");
    load.run();
    const auto& t = load.tables;
    for (int e = 0; e < CalibrationTables::kGridSize; ++e) {
        EXPECT_TRUE(std::isfinite(t.Comm_X[e]) && std::isfinite(t.Comm_Y[e])) << e;
    }
    EXPECT_EQ(t.Comm_X[CalibrationTables::index(1, 1)], 0.0f);
    EXPECT_FALSE(load.bGet) << "the zeroed centre dot fails the spacing check";
    EXPECT_EQ(t.Btn_T, 18);
    EXPECT_EQ(t.Btn_E, 18);
    EXPECT_EQ(t.ptEBtn[26].x, 0.0f);
}

TEST(ReadSystemParamStore, HugeFiniteValuesSaturateInsteadOfOverflowing) {
    Load load;
    saveGrid(load.store, 2, {{-3e38f, 400}, {0, 3600}, {3500, 400}, {3e38f, 3600}});
    saveSoftKeys(load.store, 'T', -3e38f, -3e38f, 3e38f);
    load.run();
    EXPECT_EQ(load.tables.DIS_LIMIT, 120);
    EXPECT_EQ(load.tables.Btn_T, 30);
}

}  // namespace
}  // namespace zorvan
