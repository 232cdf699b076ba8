#include "platform/xtest_sink.h"

#include <gtest/gtest.h>

// After gtest: Xlib defines None and Bool as macros.
#include <X11/Xlib.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/pointer_backend.h"
#include "pointer/mouse_primitives.h"
#include "tests/support/xvfb_display.h"

namespace zorvan {
namespace {

using test::XvfbDisplay;

struct PointerState {
    int x = -1;
    int y = -1;
    unsigned mask = 0;
    bool operator==(const PointerState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PointerState& s) {
    return out << "(" << s.x << ", " << s.y << ") mask 0x" << std::hex << s.mask << std::dec;
}

// An X client of its own, looking at the pointer as any application would.
class PointerObserver {
  public:
    explicit PointerObserver(const std::string& name) : display_(XOpenDisplay(name.c_str())) {}
    ~PointerObserver() {
        if (display_ != nullptr) {
            XCloseDisplay(display_);
        }
    }
    Display* display() const { return display_; }

    PointerState now() const {
        Window root = 0, child = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned mask = 0;
        XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &rx, &ry, &wx, &wy,
                      &mask);
        return {rx, ry, mask & (Button1Mask | Button2Mask | Button3Mask)};
    }

    // The sink's requests travel on another connection: wait (bounded) until
    // the server has applied them.
    PointerState await(const PointerState& expected) const {
        PointerState seen = now();
        for (int i = 0; i < 400 && !(seen == expected); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            seen = now();
        }
        return seen;
    }

  private:
    Display* display_;
};

class XtestSinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!xvfb.ok()) {
            GTEST_SKIP() << xvfb.why();
        }
        observer = std::make_unique<PointerObserver>(xvfb.name());
        ASSERT_NE(observer->display(), nullptr);
    }

    XvfbDisplay xvfb{1024, 768};
    std::unique_ptr<PointerObserver> observer;
};

TEST_F(XtestSinkTest, PrimitivesMoveThePointerAndPressTheButtons) {
    XtestSink sink(xvfb.name());
    ASSERT_TRUE(sink.connected()) << sink.failure();

    MouseLeftDown(sink, ScreenPoint{100.7f, 200.2f});
    EXPECT_EQ(observer->await({100, 200, Button1Mask}), (PointerState{100, 200, Button1Mask}));
    MouseLeftMove(sink, ScreenPoint{300, 400});
    EXPECT_EQ(observer->await({300, 400, Button1Mask}), (PointerState{300, 400, Button1Mask}));
    MouseLeftUp(sink, ScreenPoint{310, 410});
    EXPECT_EQ(observer->await({310, 410, 0}), (PointerState{310, 410, 0}));

    sink.post(MouseEvent{MouseEventType::RightDown, ScreenPoint{50, 60}, {}});
    EXPECT_EQ(observer->await({50, 60, Button3Mask}), (PointerState{50, 60, Button3Mask}));
    MouseDoubleClick(sink, ScreenPoint{70, 80});  // starts with a left up: right stays down
    EXPECT_EQ(observer->await({70, 80, Button3Mask}), (PointerState{70, 80, Button3Mask}));
    MouseRight(sink, ScreenPoint{1023, 767});
    EXPECT_EQ(observer->await({1023, 767, 0}), (PointerState{1023, 767, 0}));
}

TEST_F(XtestSinkTest, PointsLandOnTheBoardsScreenOfTheRootWindow) {
    // The board's screen is the right half of the root window, 100 pixels down.
    XtestSink sink(xvfb.name(), {{512, 600}, {512, 100, 512, 600}, {0, 0, 1024, 768}});
    ASSERT_TRUE(sink.connected()) << sink.failure();
    MouseLeftMove(sink, ScreenPoint{10.9f, 20});
    EXPECT_EQ(observer->await({522, 120, 0}), (PointerState{522, 120, 0}));
    // The mapping's inclusive right and bottom edges stay on the screen.
    MouseLeftMove(sink, ScreenPoint{512, 600});
    EXPECT_EQ(observer->await({1023, 699, 0}), (PointerState{1023, 699, 0}));
    sink.place(ScreenPlacement::alone({1024, 768}));
    MouseLeftMove(sink, ScreenPoint{10, 20});
    EXPECT_EQ(observer->await({10, 20, 0}), (PointerState{10, 20, 0}));
}

TEST_F(XtestSinkTest, LostServerIsReportedOnceAndDoesNotEndTheProcess) {
    XtestSink sink(xvfb.name());
    ASSERT_TRUE(sink.connected()) << sink.failure();
    observer.reset();
    xvfb.stop();
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 5; ++i) {
        MouseLeftMove(sink, ScreenPoint{1, 1});
    }
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(sink.connected());
    EXPECT_NE(err.find("lost the connection"), std::string::npos) << err;
}

TEST(XtestSinkNoServerTest, UnreachableDisplayDropsEventsWithOneMessage) {
    XtestSink sink(":4095");
    EXPECT_FALSE(sink.connected());
    ::testing::internal::CaptureStderr();
    MouseRight(sink, ScreenPoint{1, 1});
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot connect to the X server \":4095\""), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

}  // namespace
}  // namespace zorvan
