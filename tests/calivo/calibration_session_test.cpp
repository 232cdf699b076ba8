#include "tools/calivo/calibration_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <vector>

#include "calibration/memory_settings_store.h"
#include "calibration/read_system_param.h"
#include "tests/calibration/calibration_test_support.h"

namespace zorvan::calivo {
namespace {

using Step = CalibrationSession::Step;
using Notice = CalibrationSession::Notice;

Press pressAt(float x, float y, bool touch = false) {
    Press press;
    press.median = {x, y};
    press.touch = touch;
    press.samples = 10;
    return press;
}

// A board whose raw range maps linearly onto the screen: raw = 200 + 3600 * share.
struct LinearBoard {
    DisplaySize screen;
    RawPoint rawAt(ScreenPoint p) const {
        return {200.0f + 3600.0f * p.x / static_cast<float>(screen.width),
                200.0f + 3600.0f * p.y / static_cast<float>(screen.height)};
    }
};

// Presses every target where the board reports it; returns the targets shown.
std::vector<ScreenPoint> pressAllDots(CalibrationSession& session, const LinearBoard& board) {
    std::vector<ScreenPoint> shown;
    while (session.step() == Step::Dot) {
        shown.push_back(session.target());
        const RawPoint raw = board.rawAt(session.target());
        EXPECT_EQ(session.press(pressAt(raw.x, raw.y)), Notice::None);
    }
    return shown;
}

TEST(CalibrationSession, TargetsSitWhereTheDriverPlacesItsDots) {
    for (const DisplaySize screen : {DisplaySize{1920, 1080}, DisplaySize{1366, 768},
                                     DisplaySize{1001, 799}, DisplaySize{3840, 2160}}) {
        for (const int dotCount : {2, 3, 5}) {
            CalibrationSession session({screen, dotCount, false});
            const std::vector<ScreenPoint> shown = pressAllDots(session, LinearBoard{screen});

            // The driver's own load of a grid of this form on this display.
            CalibrationTables tables;
            MemorySettingsStore store;
            store.setInteger("DotCount", dotCount);
            testing::FixedDisplay display(screen.width, screen.height);
            std::atomic<bool> bGet{true};
            ReadSystemParam(tables, store, display, 1, bGet, nullptr);
            const GridForm form = *gridForm(dotCount);
            ASSERT_EQ(static_cast<int>(shown.size()), form.dots());
            for (int k = 0; k < form.dots(); ++k) {
                const int e = CalibrationTables::index(form.column(k), form.row(k));
                EXPECT_EQ(shown[k], (ScreenPoint{tables.Scr_DotX[e], tables.Scr_DotY[e]}))
                    << screen.width << "x" << screen.height << " form " << dotCount << " dot " << k;
            }
        }
    }
}

TEST(CalibrationSession, MisclicksAndBadPressesAreRefusedAndAskedAgain) {
    const DisplaySize screen{1000, 800};
    struct Case {
        const char* name;
        int dotCount;
        std::vector<RawPoint> before;  // accepted dots
        Press press;
        Notice notice;
    };
    Press shortPress = pressAt(500, 3600);
    shortPress.fault = PressFault::TooShort;
    Press wandered = pressAt(500, 3600);
    wandered.fault = PressFault::Wandered;
    const Case cases[] = {
        {"too short", 2, {{500, 400}}, shortPress, Notice::PressTooShort},
        {"wandered", 2, {{500, 400}}, wandered, Notice::PressWandered},
        // Dot 1 lies below dot 0 in the same column.
        {"above the dot over it", 2, {{500, 400}}, pressAt(500, 380), Notice::DotWrongSide},
        {"19 below the dot over it", 2, {{500, 400}}, pressAt(500, 419), Notice::DotWrongSide},
        // Dot 2 (column 1, row 0) lies right of dot 0.
        {"left of the dot beside it",
         2,
         {{500, 400}, {500, 3600}},
         pressAt(480, 400),
         Notice::DotWrongSide},
        // Dot 3 must lie 20 right of and below dot 0 (the driver's rule) ...
        {"close to its diagonal neighbour",
         2,
         {{500, 400}, {100, 3600}, {3500, 100}},
         pressAt(510, 3000),
         Notice::DotWrongSide},
        // ... and near the fourth corner of the other three.
        {"far from the expected corner",
         2,
         {{500, 400}, {500, 3600}, {3500, 400}},
         pressAt(2000, 2000),
         Notice::DotFarFromExpected},
        {"3x3 centre far from expected",
         3,
         {{500, 400}, {500, 2000}, {500, 3600}, {2000, 400}},
         pressAt(2000, 3000),
         Notice::DotFarFromExpected},
    };
    for (const Case& c : cases) {
        CalibrationSession session({screen, c.dotCount, false});
        for (const RawPoint& dot : c.before) {
            ASSERT_EQ(session.press(pressAt(dot.x, dot.y)), Notice::None) << c.name;
        }
        const int index = session.dotIndex();
        const ScreenPoint target = session.target();
        EXPECT_EQ(session.press(c.press), c.notice) << c.name;
        // Asked again: the same target.
        EXPECT_EQ(session.step(), Step::Dot) << c.name;
        EXPECT_EQ(session.dotIndex(), index) << c.name;
        EXPECT_EQ(session.target(), target) << c.name;
    }
}

TEST(CalibrationSession, OneMisTouchAnywhereIsFollowedByAFinishedGrid) {
    // A touch off its target is either refused at once, or taken and found
    // later; either way, pressing each target the session then shows, where
    // it is, finishes with exactly the true grid.
    const DisplaySize screen{1280, 800};
    const LinearBoard board{screen};
    struct Case {
        const char* name;
        RawPoint miss;  // kNextTarget: the raw point of the next target
    };
    constexpr RawPoint kNextTarget{-1, -1};
    const Case cases[] = {
        {"the board's centre", {2048, 2048}},
        {"the next target", kNextTarget},
        {"the lower right corner", {3900, 3900}},
        {"the top edge", {2048, 150}},
        {"between targets", {1606, 2450}},
        {"near the target", {0, 0}},  // 0.3 of a cell right and down, filled in below
    };
    for (const int dotCount : {3, 5}) {
        const GridForm form = *gridForm(dotCount);
        for (const Case& c : cases) {
            for (int k = 0; k < form.dots(); ++k) {
                CalibrationSession session({screen, dotCount, false});
                while (session.dotIndex() < k) {
                    const RawPoint raw = board.rawAt(session.target());
                    session.press(pressAt(raw.x, raw.y));
                }
                RawPoint miss = c.miss;
                const RawPoint truth = board.rawAt(session.target());
                if (c.miss == kNextTarget) {
                    const DotLayout layout = dotLayout(dotCount, 1280, 800);
                    const int next = (k + 1) % form.dots();
                    miss = board.rawAt(dotScreenPoint(layout, form.column(next), form.row(next)));
                } else if (c.miss == RawPoint{0, 0}) {
                    miss = {truth.x + 0.3f * 3600.0f * 0.8f / float(form.columns - 1),
                            truth.y + 0.3f * 3600.0f * 0.8f / float(form.rows - 1)};
                }
                session.press(pressAt(miss.x, miss.y));
                int presses = 0;
                while (session.step() == Step::Dot && presses++ < 3 * form.dots()) {
                    const RawPoint raw = board.rawAt(session.target());
                    session.press(pressAt(raw.x, raw.y));
                }
                ASSERT_EQ(session.step(), Step::Verify)
                    << dotCount << " " << c.name << " at dot " << k;
                // A near miss may stand; one taken further off must be gone.
                for (int d = 0; d < form.dots(); ++d) {
                    const DotLayout layout = dotLayout(dotCount, 1280, 800);
                    const RawPoint want =
                        board.rawAt(dotScreenPoint(layout, form.column(d), form.row(d)));
                    const RawPoint got = session.result().dots[static_cast<std::size_t>(d)];
                    EXPECT_LE(std::fabs(got.x - want.x), 0.41f * 2880.0f / float(form.columns - 1))
                        << dotCount << " " << c.name << " at dot " << k << ", dot " << d;
                    EXPECT_LE(std::fabs(got.y - want.y), 0.41f * 2880.0f / float(form.rows - 1))
                        << dotCount << " " << c.name << " at dot " << k << ", dot " << d;
                }
            }
        }
    }
}

TEST(CalibrationSession, AcceptedGridsAlwaysPassTheDriversSpacingCheck) {
    // Random presses around the true dots: whatever the session accepts, the
    // driver's load takes without its alert.
    std::mt19937 random(11);
    std::uniform_real_distribution<float> jitter(-600.0f, 600.0f);
    int grids = 0;
    for (int round = 0; round < 300; ++round) {
        const int dotCount = round % 3 == 0 ? 2 : round % 3 == 1 ? 3 : 5;
        const DisplaySize screen{1280, 1024};
        CalibrationSession session({screen, dotCount, false});
        const LinearBoard board{screen};
        for (int tries = 0; session.step() == Step::Dot && tries < 400; ++tries) {
            const RawPoint raw = board.rawAt(session.target());
            session.press(pressAt(raw.x + jitter(random), raw.y + jitter(random)));
        }
        if (session.step() == Step::Dot) {
            continue;
        }
        ASSERT_EQ(session.step(), Step::Verify);
        ++grids;
        MemorySettingsStore store;
        saveCalibration(store, session.result());
        CalibrationTables tables;
        testing::FixedDisplay display(screen.width, screen.height);
        std::atomic<bool> bGet{true};
        int alerts = 0;
        ReadSystemParam(tables, store, display, 1, bGet, [&alerts] { ++alerts; });
        EXPECT_TRUE(bGet.load());
        EXPECT_EQ(alerts, 0);
    }
    EXPECT_GT(grids, 100);
}

TEST(CalibrationSession, VerificationMeasuresThePressThroughTheNewGrid) {
    const DisplaySize screen{1000, 800};  // limit: 2 % of the 1280.6 px diagonal
    struct Case {
        RawPoint press;
        Step after;
        double distance;
    };
    // The grid: raw 500..3500 over screen 100..900, raw 400..3600 over 80..720,
    // so 3.75 raw units a pixel in x and 5 in y; the centre (500, 400) is raw (2000, 2000).
    const Case cases[] = {
        {{2000, 2000}, Step::Accepted, 0.0},
        {{2000 + 3.75f * 20, 2000}, Step::Accepted, 20.0},
        {{2000, 2000 + 5 * 30}, Step::VerifyMissed, 30.0},
    };
    for (const Case& c : cases) {
        CalibrationSession session({screen, 2, false});
        for (const RawPoint dot : {RawPoint{500, 400}, {500, 3600}, {3500, 400}, {3500, 3600}}) {
            session.press(pressAt(dot.x, dot.y));
        }
        ASSERT_EQ(session.step(), Step::Verify);
        EXPECT_EQ(session.target(), (ScreenPoint{500, 400}));
        session.press(pressAt(c.press.x, c.press.y));
        EXPECT_EQ(session.step(), c.after);
        ASSERT_TRUE(session.verification());
        EXPECT_NEAR(session.verification()->distance, c.distance, 0.01);
        EXPECT_NEAR(session.verification()->limit, 25.61, 0.01);
    }
}

TEST(CalibrationSession, ChoicesAfterAFailedCheckAndTheSoftKeys) {
    const DisplaySize screen{1000, 800};
    const auto toVerifyMissed = [&screen](bool keys) {
        auto session =
            std::make_unique<CalibrationSession>(CalibrationSession::Setup{screen, 2, keys});
        for (const RawPoint dot : {RawPoint{500, 400}, {500, 3600}, {3500, 400}, {3500, 3600}}) {
            session->press(pressAt(dot.x, dot.y));
        }
        session->press(pressAt(3000, 3000));
        return session;
    };
    auto redo = toVerifyMissed(false);
    ASSERT_EQ(redo->step(), Step::VerifyMissed);
    redo->redo();
    EXPECT_EQ(redo->step(), Step::Dot);
    EXPECT_EQ(redo->dotIndex(), 0);

    auto keep = toVerifyMissed(true);
    keep->keep();
    ASSERT_EQ(keep->step(), Step::SoftKey);
    EXPECT_EQ(keep->softKeyNumber(), 0);
    keep->press(pressAt(100, 50, true));  // key 0, touch mode
    keep->skipKey();                      // key 1 left as stored
    Press bad = pressAt(1, 1);
    bad.fault = PressFault::Wandered;
    EXPECT_EQ(keep->press(bad), Notice::PressWandered);  // key 2 asked again
    EXPECT_EQ(keep->softKeyNumber(), 2);
    keep->press(pressAt(100, 250, false));   // key 2, pen mode
    keep->press(pressAt(4000, 90, true));    // key 12
    keep->press(pressAt(4000, 4000, true));  // key 26
    ASSERT_EQ(keep->step(), Step::Accepted);
    const CalibrationRecord& result = keep->result();
    EXPECT_EQ(result.touchKeys[0], (RawPoint{100, 50}));
    EXPECT_FALSE(result.touchKeys[1]);
    EXPECT_FALSE(result.touchKeys[2]);
    EXPECT_EQ(result.penKeys[2], (RawPoint{100, 250}));
    EXPECT_EQ(result.touchKeys[3], (RawPoint{4000, 90}));
    EXPECT_EQ(result.touchKeys[4], (RawPoint{4000, 4000}));
    EXPECT_EQ(result.dots.size(), 4u);
}

TEST(CalibrationSession, RestartCancelAndTimeout) {
    const DisplaySize screen{1000, 800};
    struct Case {
        const char* name;
        void (CalibrationSession::*event)();
        Step after;
        int dotIndex;
    };
    const Case cases[] = {
        {"restart (SIGHUP)", &CalibrationSession::restart, Step::Dot, 0},
        {"cancel (Esc)", &CalibrationSession::cancel, Step::Cancelled, 2},
        {"60 s without a press", &CalibrationSession::timeout, Step::TimedOut, 2},
    };
    for (const Case& c : cases) {
        CalibrationSession session({screen, 3, true});
        session.press(pressAt(500, 400));
        session.press(pressAt(500, 2000));
        (session.*c.event)();
        EXPECT_EQ(session.step(), c.after) << c.name;
        EXPECT_EQ(session.dotIndex(), c.dotIndex) << c.name;
        // Nothing brings a finished session back.
        session.restart();
        session.press(pressAt(500, 3600));
        EXPECT_EQ(session.step(), c.after) << c.name;
    }

    // Without a form chosen, a restart stays at the choice; a board press
    // chooses the usual grid.
    CalibrationSession choosing({screen, 0, true});
    EXPECT_EQ(choosing.step(), Step::ChooseForm);
    choosing.restart();
    EXPECT_EQ(choosing.step(), Step::ChooseForm);
    choosing.press(pressAt(1, 1));
    ASSERT_EQ(choosing.step(), Step::Dot);
    EXPECT_EQ(choosing.dotTotal(), 9);
    EXPECT_EQ(choosing.dotIndex(), 0);
}

}  // namespace
}  // namespace zorvan::calivo
