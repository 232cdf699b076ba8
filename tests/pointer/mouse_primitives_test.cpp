#include "pointer/mouse_primitives.h"

#include <gtest/gtest.h>

#include <vector>

#include "pointer/recording_sink.h"
#include "tests/pointer/event_builders.h"

namespace zorvan {
namespace {

using namespace zorvan::test;
using Events = std::vector<MouseEvent>;

// A point no rounding leaves alone.
constexpr ScreenPoint kP{512.25f, 300.5f};

TEST(MousePrimitivesTest, EachPostsItsExactSequenceAtTheUnroundedPoint) {
    struct Case {
        const char* name;
        void (*primitive)(MouseEventSink&, ScreenPoint);
        Events expected;
    };
    const float x = kP.x, y = kP.y;
    const Case cases[] = {
        {"MouseLeftDown", MouseLeftDown, {LeftDown(x, y)}},
        {"MouseLeftUp", MouseLeftUp, {LeftUp(x, y)}},
        {"MouseLeftMove", MouseLeftMove, {Drag(x, y)}},
        {"MouseRight", MouseRight, {LeftUp(x, y), RightDown(x, y), RightUp(x, y)}},
        {"MouseDoubleClick", MouseDoubleClick, {LeftUp(x, y), LeftDown2(x, y), LeftUp2(x, y)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSink sink;
        c.primitive(sink, kP);
        EXPECT_EQ(sink.events, c.expected);
    }
}

}  // namespace
}  // namespace zorvan
