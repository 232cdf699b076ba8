#include "pointer/gesture_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "pointer/recording_sink.h"
#include "tests/pointer/event_builders.h"

namespace zorvan {
namespace {

using namespace zorvan::test;
using Events = std::vector<MouseEvent>;
using namespace std::chrono_literals;

// Identity mapping and a hand-set clock, so points and times are the test's.
class GestureEngineTest : public ::testing::Test {
  protected:
    void down(float x, float y) { engine.BoardMouse(x, y, true); }
    void up(float x, float y) { engine.BoardMouse(x, y, false); }
    void tap(float x, float y) {
        down(x, y);
        up(x, y);
    }
    // The events posted since the last call.
    Events take() {
        Events out;
        out.swap(sink.events);
        return out;
    }
    GestureState& st() { return engine.state(); }

    CalibrationTables tables;
    bool bTouch = false;
    RecordingSink sink;
    std::chrono::nanoseconds now{0};
    GestureEngine engine{[](float x, float y) {
                             return ScreenPoint{x, y};
                         },
                         tables, bTouch, sink, [this] { return now; }};
};

// --- press and release ------------------------------------------------------

TEST_F(GestureEngineTest, ReleaseWithoutContactPostsNothingAndCountsNothing) {
    up(10, 10);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(st(), GestureState{});
}

TEST_F(GestureEngineTest, PressAndReleaseMapBothPoints) {
    GestureEngine mapped{[](float x, float y) {
                             return ScreenPoint{x / 2, y / 4};
                         },
                         tables, bTouch, sink, [this] { return now; }};
    mapped.BoardMouse(100, 100, true);
    mapped.BoardMouse(300, 400, false);
    EXPECT_EQ(take(), (Events{LeftDown(50, 25), LeftUp(150, 100)}));
    EXPECT_EQ(mapped.state().ptLast, (ScreenPoint{50, 25}));
    EXPECT_EQ(mapped.state().ptLastUP, (ScreenPoint{150, 100}));
}

TEST_F(GestureEngineTest, ReleaseResetsContactButKeepsJumpState) {
    bTouch = true;
    down(1000, 1000);
    down(1000, 1000);
    st().UN_FIT_COUNT = 2;
    st().bUP_ONE = true;
    st().T_DATA_COUNT = 7;
    st().E_DATA_COUNT = 3;
    up(1000, 1000);
    EXPECT_EQ(st().Dn2, 0);
    EXPECT_FALSE(st().MidFlag);
    EXPECT_EQ(st().T_DATA_COUNT, 0);
    EXPECT_EQ(st().E_DATA_COUNT, 0);
    EXPECT_EQ(st().UN_FIT_COUNT, 2);
    EXPECT_TRUE(st().bUP_ONE);
}

// --- double click ---------------------------------------------------------------

TEST_F(GestureEngineTest, ThirdCloseReleaseDoubleClicksAndFourthIsPlain) {
    tap(500, 500);
    tap(500, 500);
    EXPECT_EQ(take(),
              (Events{LeftDown(500, 500), LeftUp(500, 500), LeftDown(500, 500), LeftUp(500, 500)}));
    EXPECT_EQ(st().Up_Count, 2);

    tap(500, 500);
    EXPECT_EQ(take(), (Events{LeftDown(500, 500), LeftUp(500, 500), LeftDown2(500, 500),
                              LeftUp2(500, 500), LeftUp(500, 500)}));
    EXPECT_EQ(st().Up_Count, 1);

    tap(500, 500);
    EXPECT_EQ(take(), (Events{LeftDown(500, 500), LeftUp(500, 500)}));

    tap(500, 500);
    EXPECT_EQ(take().size(), 5u) << "the fifth release can double-click again";
}

TEST_F(GestureEngineTest, DoubleClickWindowIsElapsedTimeFromThePreviousRelease) {
    using std::chrono::nanoseconds;
    struct Case {
        nanoseconds first, second, third;  // the clock at each release
        bool doubleClick;
    };
    constexpr nanoseconds kDaysUp = 86'400s * 40;  // past 2^31 and 2^32 of any unit below ms
    for (const Case c : {
             Case{0ns, 0ns, 1'199'900'000ns, true},
             Case{0ns, 0ns, 1200ms, false},
             // Counted from the second release, not the first.
             Case{0ns, 1100ms, 2299ms, true},
             Case{0ns, 1100ms, 2300ms, false},
             Case{kDaysUp, kDaysUp + 1s, kDaysUp + 2199ms, true},
             Case{kDaysUp, kDaysUp + 1s, kDaysUp + 2200ms, false},
         }) {
        SCOPED_TRACE(c.third.count());
        st() = GestureState{};
        now = c.first;
        tap(500, 500);
        now = c.second;
        tap(500, 500);
        take();
        now = c.third;
        tap(500, 500);
        EXPECT_EQ(take().size(), c.doubleClick ? 5u : 2u);
        EXPECT_EQ(st().Time_Last_Click, c.third);
    }
}

TEST_F(GestureEngineTest, DoubleClickBoxIsOpenAtFivePixels) {
    struct Case {
        float dx, dy;
        bool doubleClick;
    };
    for (Case c : {Case{5, 0, false}, Case{0, 5, false}, Case{-5, 0, false}, Case{4.99f, 0, true},
                   Case{0, -4.99f, true}, Case{4.99f, 4.99f, true}}) {
        SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
        st() = GestureState{};
        tap(700, 300);
        tap(700, 300);
        take();
        tap(700 + c.dx, 300 + c.dy);
        EXPECT_EQ(take().size(), c.doubleClick ? 5u : 2u);
    }
}

TEST_F(GestureEngineTest, DoubleClickTestIsSpentEvenWhenItFails) {
    tap(100, 100);
    tap(100, 100);
    tap(300, 300);  // far: the test runs, fails, and counting starts over
    EXPECT_EQ(st().Up_Count, 1);
    tap(300, 300);
    EXPECT_EQ(st().Up_Count, 2);
    take();
    tap(300, 300);
    EXPECT_EQ(take().size(), 5u);
}

// --- touch filter -----------------------------------------------------------------

TEST_F(GestureEngineTest, TouchFirstSampleIsReferenceThenDragsAreSmoothed) {
    bTouch = true;
    down(1000, 1000);
    down(1010, 1000);
    EXPECT_EQ(take(), (Events{LeftDown(1000, 1000)}));
    down(1020, 1000);
    EXPECT_EQ(take(), (Events{Drag(1016, 1000)}));
    EXPECT_EQ(st().ptUse, st().ptSave);
}

TEST_F(GestureEngineTest, SmoothingIsFormedInDoubleAndStoredAsFloat) {
    // float arithmetic would give 1476.920166015625, float products 1476.919921875
    down(1430.3f, 100);
    down(1430.3f, 100);
    down(1508.0f, 100);
    const Events events = take();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2], Drag(0x1.713ae2p+10f, 100));
}

TEST_F(GestureEngineTest, TouchJumpLimitIsOpenAtDisLimit) {
    bTouch = true;
    down(1000, 1000);
    down(1000, 1000);
    take();
    down(1090, 1000);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(st().UN_FIT_COUNT, 1);
    down(1089.9f, 1000);
    EXPECT_EQ(take().size(), 1u);
    EXPECT_EQ(st().UN_FIT_COUNT, 0);
}

TEST_F(GestureEngineTest, TouchJumpLimitIsReadAtEverySample) {
    bTouch = true;
    down(1000, 1000);
    down(1000, 1000);
    take();
    tables.DIS_LIMIT = 120;
    down(1000, 1119);
    EXPECT_EQ(take().size(), 1u);
}

TEST_F(GestureEngineTest, ThreeJumpsForceReleaseAtSmoothedPointAndPressAtNewPlace) {
    bTouch = true;
    down(1000, 1000);
    down(1010, 1000);
    down(1020, 1000);  // ptUse (1016, 1000)
    take();
    for (int i = 0; i < 3; ++i) {
        down(1500, 1000);
    }
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(st().UN_FIT_COUNT, 3);

    down(1017, 1000);  // right next to the pointer: dropped all the same
    EXPECT_EQ(take(), (Events{LeftUp(1016, 1000)}));
    EXPECT_TRUE(st().bUP_ONE);
    EXPECT_FALSE(st().MidFlag);
    EXPECT_EQ(st().Dn2, 1);

    down(1510, 1000);
    EXPECT_EQ(take(), (Events{LeftDown(1510, 1000)}));
    EXPECT_FALSE(st().bUP_ONE);
    EXPECT_EQ(st().ptSave, (ScreenPoint{1510, 1000}));

    down(1520, 1000);
    EXPECT_EQ(take(), (Events{Drag(1516, 1000)}));
    up(1530, 1000);
    EXPECT_EQ(take(), (Events{LeftUp(1530, 1000)}));
}

TEST_F(GestureEngineTest, JumpStateOutlivesTheContact) {
    bTouch = true;
    down(1000, 1000);
    down(1000, 1000);
    for (int i = 0; i < 3; ++i) {
        down(1500, 1000);
    }
    up(1500, 1000);
    take();
    // The next contact's second sample is the pending forced release.
    down(200, 200);
    down(200, 200);
    down(201, 200);
    EXPECT_EQ(take(), (Events{LeftDown(200, 200), LeftUp(200, 200)}));
    EXPECT_TRUE(st().bUP_ONE);
}

// --- pen filter ------------------------------------------------------------------------

TEST_F(GestureEngineTest, PenDragsFromFirstSampleUnsmoothedThenSmoothed) {
    down(100, 100);
    down(200, 100);
    down(300, 100);
    EXPECT_EQ(take(), (Events{LeftDown(100, 100), Drag(200, 100), Drag(260, 100)}));
}

TEST_F(GestureEngineTest, PenNeverRejectsJumps) {
    down(0, 0);
    down(0, 0);
    down(3000, 3000);
    EXPECT_EQ(take().back(), Drag(1800, 1800));
    EXPECT_EQ(st().UN_FIT_COUNT, 0);
}

// --- holds ----------------------------------------------------------------------------

TEST_F(GestureEngineTest, PenHoldRightClicksAtSample61AndStartsOver) {
    down(400, 400);
    take();
    for (int i = 1; i <= 60; ++i) {
        down(402, 399);
    }
    const Events drags = take();
    ASSERT_EQ(drags.size(), 60u);
    for (const MouseEvent& e : drags) {
        EXPECT_EQ(e.type, MouseEventType::LeftDragged);
    }
    down(403, 401);
    EXPECT_EQ(take(), (Events{LeftDown(403, 401), LeftUp(403, 401), LeftUp(403, 401),
                              RightDown(403, 401), RightUp(403, 401)}));
    EXPECT_EQ(st().E_DATA_COUNT, 0);
    EXPECT_EQ(st().Dn2, 1);
    EXPECT_TRUE(st().MidFlag);

    down(402, 399);
    EXPECT_EQ(take().size(), 1u);
    EXPECT_EQ(st().E_DATA_COUNT, 1);
}

TEST_F(GestureEngineTest, TouchHoldRightClicksAtSample91) {
    bTouch = true;
    down(400, 400);
    for (int i = 1; i <= 90; ++i) {
        down(400, 400);
    }
    const Events before = take();
    ASSERT_EQ(before.size(), 1u + 89u) << "press, then drags from sample 2";
    down(400, 400);
    EXPECT_EQ(take(), (Events{LeftDown(400, 400), LeftUp(400, 400), LeftUp(400, 400),
                              RightDown(400, 400), RightUp(400, 400)}));
}

TEST_F(GestureEngineTest, StrayingContactKeepsItsHoldCount) {
    down(400, 400);
    for (int i = 0; i < 30; ++i) {
        down(400, 400);
    }
    for (int i = 0; i < 10; ++i) {
        down(405, 400);  // on the box's edge: outside
    }
    EXPECT_EQ(st().E_DATA_COUNT, 30);
    for (int i = 0; i < 30; ++i) {
        down(400, 400);
    }
    take();
    down(400, 400);
    EXPECT_EQ(take().back(), RightUp(400, 400));
}

TEST_F(GestureEngineTest, ModeSwitchDuringContactClearsTheOtherCount) {
    down(400, 400);
    for (int i = 0; i < 10; ++i) {
        down(400, 400);
    }
    EXPECT_EQ(st().E_DATA_COUNT, 10);
    bTouch = true;
    down(420, 400);  // outside the hold box: neither count moves
    EXPECT_EQ(st().E_DATA_COUNT, 10);
    EXPECT_EQ(st().T_DATA_COUNT, 0);
    take();
    down(400, 400);
    EXPECT_EQ(st().E_DATA_COUNT, 0);
    EXPECT_EQ(st().T_DATA_COUNT, 1);
    // The touch filter goes on from the pen filter's reference.
    EXPECT_EQ(take().size(), 1u);
}

}  // namespace
}  // namespace zorvan
