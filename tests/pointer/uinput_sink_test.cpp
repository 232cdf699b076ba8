#include "platform/uinput_sink.h"

#include <gtest/gtest.h>
#include <linux/input.h>

#include <cerrno>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "pointer/mouse_primitives.h"

namespace zorvan {
namespace {

using Frames = std::vector<EvdevEvent>;

// Stands in for /dev/uinput, which the build machines don't have.
class RecordingWriter : public EvdevEventWriter {
  public:
    explicit RecordingWriter(Frames& out) : out_(out) {}
    int write(const EvdevEvent& e) override {
        if (failFrom >= 0 && static_cast<int>(out_.size()) >= failFrom) {
            return -ENODEV;
        }
        out_.push_back(e);
        return 0;
    }
    int failFrom = -1;

  private:
    Frames& out_;
};

constexpr EvdevEvent X(int v) {
    return {EV_ABS, ABS_X, v};
}
constexpr EvdevEvent Y(int v) {
    return {EV_ABS, ABS_Y, v};
}
constexpr EvdevEvent Syn{EV_SYN, SYN_REPORT, 0};
constexpr EvdevEvent Key(int code, int v) {
    return {EV_KEY, static_cast<std::uint16_t>(code), v};
}

class UinputSinkTest : public ::testing::Test {
  protected:
    Frames written;
    RecordingWriter* writer = new RecordingWriter(written);
    UinputSink sink{ScreenPlacement::alone({1920, 1080}),
                    std::unique_ptr<EvdevEventWriter>(writer)};
};

TEST_F(UinputSinkTest, PrimitivesBecomeAMotionFrameThenAButtonFrame) {
    MouseLeftDown(sink, ScreenPoint{100.75f, 200.25f});
    MouseLeftMove(sink, ScreenPoint{101, 201});
    MouseLeftUp(sink, ScreenPoint{102, 202});
    EXPECT_EQ(written, (Frames{X(100), Y(200), Syn, Key(BTN_LEFT, 1), Syn,  //
                               X(101), Y(201), Syn,                         //
                               X(102), Y(202), Syn, Key(BTN_LEFT, 0), Syn}));
}

TEST_F(UinputSinkTest, RightClickAndDoubleClickSequences) {
    MouseRight(sink, ScreenPoint{5, 6});
    EXPECT_EQ(written, (Frames{X(5), Y(6), Syn, Key(BTN_LEFT, 0), Syn,   //
                               X(5), Y(6), Syn, Key(BTN_RIGHT, 1), Syn,  //
                               X(5), Y(6), Syn, Key(BTN_RIGHT, 0), Syn}));
    written.clear();
    MouseDoubleClick(sink, ScreenPoint{7, 8});
    EXPECT_EQ(written, (Frames{X(7), Y(8), Syn, Key(BTN_LEFT, 0), Syn,  //
                               X(7), Y(8), Syn, Key(BTN_LEFT, 1), Syn,  //
                               X(7), Y(8), Syn, Key(BTN_LEFT, 0), Syn}));
}

TEST_F(UinputSinkTest, PositionsStayOnTheAxisRange) {
    // The mapping clamps to 0..width inclusive; the axis ends at width - 1.
    MouseLeftMove(sink, ScreenPoint{1920, 1080});
    MouseLeftMove(sink, ScreenPoint{-3, 1e30f});
    MouseLeftMove(sink, ScreenPoint{-1e30f, 1079.99f});
    EXPECT_EQ(written, (Frames{X(1919), Y(1079), Syn, X(0), Y(1079), Syn, X(0), Y(1079), Syn}));
}

TEST_F(UinputSinkTest, InvalidPositionSkipsTheMoveButKeepsTheButton) {
    ::testing::internal::CaptureStderr();
    MouseLeftUp(sink, ScreenPoint{std::nanf(""), 5});
    MouseLeftMove(sink, ScreenPoint{std::nanf(""), 5});
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(written, (Frames{Key(BTN_LEFT, 0), Syn}));
    EXPECT_NE(err.find("no valid position"), std::string::npos) << err;
}

TEST_F(UinputSinkTest, WriteFailureSkipsTheEventGoesOnAndSaysSoOnce) {
    writer->failFrom = 2;  // the device goes away in the middle of a press
    ::testing::internal::CaptureStderr();
    MouseLeftDown(sink, ScreenPoint{1, 1});
    MouseRight(sink, ScreenPoint{1, 1});
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(written, (Frames{X(1), Y(1)}));
    EXPECT_NE(err.find("No such device"), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "said once: " << err;
}

// A laptop screen of 1366x768 at the left and the projector, the board's
// screen, beside it: X11 and Wayland spread the device's axes over both.
constexpr ScreenPlacement kProjectorRight{{1024, 768}, {1366, 0, 1024, 768}, {0, 0, 2390, 768}};

struct Device {
    DisplaySize range;
    Frames frames;
};

// Stands in for createUinputPointer: each device made is kept with its range.
class DeviceMaker {
  public:
    UinputDeviceFactory factory() {
        return [this](DisplaySize range, std::string& error) -> std::unique_ptr<EvdevEventWriter> {
            if (fail || range.width == 0 || range.height == 0) {
                error = "uinput: cannot open /dev/uinput: test";
                return nullptr;
            }
            devices.push_back(std::make_unique<Device>(Device{range, {}}));
            return std::make_unique<RecordingWriter>(devices.back()->frames);
        };
    }
    bool fail = false;
    std::vector<std::unique_ptr<Device>> devices;
};

TEST(UinputSinkPlacementTest, AxesSpanTheDesktopAndPointsLandOnTheBoardsScreen) {
    struct Case {
        const char* layout;
        ScreenPlacement placement;
        ScreenPoint point;
        DisplaySize range;
        EvdevEvent x, y;
    };
    const Case cases[] = {
        {"projector right of the laptop",
         kProjectorRight,
         {10.5f, 20},
         {2390, 768},
         X(1376),
         Y(20)},
        {"right edge stays on the projector",
         kProjectorRight,
         {1024, 768},
         {2390, 768},
         X(2389),
         Y(767)},
        {"projector left, laptop right",
         {{1024, 768}, {0, 0, 1024, 768}, {0, 0, 2390, 768}},
         {1024, 0},
         {2390, 768},
         X(1023),
         Y(0)},
        {"projector below a taller laptop",
         {{800, 600}, {0, 1080, 800, 600}, {0, 0, 1920, 1680}},
         {-5, 599.9f},
         {1920, 1680},
         X(0),
         Y(1679)},
        {"desktop not starting at 0,0",
         {{800, 600}, {-800, 0, 800, 600}, {-800, 0, 2720, 1080}},
         {400, 300},
         {2720, 1080},
         X(400),
         Y(300)},
        {"Wayland output at scale 2",
         {{2048, 1536}, {1366, 0, 1024, 768}, {0, 0, 2390, 768}},
         {2047, 1535},
         {2390, 768},
         X(2389),
         Y(767)},
    };
    for (const Case& c : cases) {
        DeviceMaker maker;
        UinputSink sink(c.placement, maker.factory());
        ASSERT_TRUE(sink.ready()) << c.layout;
        ASSERT_EQ(maker.devices.size(), 1u);
        EXPECT_EQ(maker.devices[0]->range, c.range) << c.layout;
        MouseLeftMove(sink, c.point);
        EXPECT_EQ(maker.devices[0]->frames, (Frames{c.x, c.y, Syn})) << c.layout;
    }
}

TEST(UinputSinkPlacementTest, ANewDesktopSizeMakesANewDeviceANewPlaceDoesNot) {
    DeviceMaker maker;
    UinputSink sink(ScreenPlacement::alone({1920, 1080}), maker.factory());
    MouseLeftMove(sink, ScreenPoint{2000, 100});  // clamped to the lone screen

    // The projector becomes primary beside the laptop: same size, new place.
    sink.place({{1920, 1080}, {1920, 0, 1920, 1080}, {0, 0, 3840, 1080}});
    // Its resolution goes up: the desktop grows, the device is made anew.
    sink.place({{2560, 1440}, {1920, 0, 2560, 1440}, {0, 0, 4480, 1440}});
    MouseLeftMove(sink, ScreenPoint{2000, 100});
    // Moved to the other side: the desktop's size stays, so does the device.
    sink.place({{2560, 1440}, {0, 0, 2560, 1440}, {0, 0, 4480, 1440}});
    MouseLeftMove(sink, ScreenPoint{2000, 100});

    ASSERT_EQ(maker.devices.size(), 3u);
    EXPECT_EQ(maker.devices[0]->range, (DisplaySize{1920, 1080}));
    EXPECT_EQ(maker.devices[0]->frames, (Frames{X(1919), Y(100), Syn}));
    EXPECT_EQ(maker.devices[1]->range, (DisplaySize{3840, 1080}));
    EXPECT_TRUE(maker.devices[1]->frames.empty());
    EXPECT_EQ(maker.devices[2]->range, (DisplaySize{4480, 1440}));
    EXPECT_EQ(maker.devices[2]->frames, (Frames{X(3920), Y(100), Syn, X(2000), Y(100), Syn}));
}

TEST(UinputSinkPlacementTest, WhenNoNewDeviceCanBeMadeTheOldOneStaysAndThatIsSaidOnce) {
    DeviceMaker maker;
    UinputSink sink(ScreenPlacement::alone({1920, 1080}), maker.factory());
    maker.fail = true;
    ::testing::internal::CaptureStderr();
    sink.place({{1024, 768}, {1920, 0, 1024, 768}, {0, 0, 2944, 1080}});
    sink.place({{1024, 768}, {1920, 0, 1024, 768}, {0, 0, 2944, 1080}});
    MouseLeftMove(sink, ScreenPoint{5000, 5});
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "uinput: cannot open /dev/uinput: test; the pointer keeps the desktop's former "
              "layout\n");
    ASSERT_EQ(maker.devices.size(), 1u);
    EXPECT_EQ(sink.range(), (DisplaySize{1920, 1080}));
    EXPECT_EQ(maker.devices[0]->frames, (Frames{X(1919), Y(5), Syn}));

    // A sink that never had a device gets one once the desktop is known.
    maker.fail = false;
    UinputSink late(ScreenPlacement::alone({0, 0}), maker.factory());
    EXPECT_FALSE(late.ready());
    late.place(kProjectorRight);
    EXPECT_TRUE(late.ready());
    EXPECT_EQ(maker.devices.back()->range, (DisplaySize{2390, 768}));
}

TEST(UinputSinkUnavailableTest, DropsEverythingAndSaysWhyOnce) {
    UinputSink sink(ScreenPlacement::alone({800, 600}), nullptr,
                    "uinput: cannot open /dev/uinput: test");
    EXPECT_FALSE(sink.ready());
    ::testing::internal::CaptureStderr();
    MouseDoubleClick(sink, ScreenPoint{1, 1});
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "uinput: cannot open /dev/uinput: test; pointer events are dropped\n");
}

TEST(UinputDeviceTest, CreationFailsWithAReasonWhereThereIsNoDevice) {
    std::string error;
    EXPECT_EQ(createUinputPointer(DisplaySize{0, 0}, error), nullptr);
    EXPECT_NE(error.find("size is unknown"), std::string::npos) << error;

    error.clear();
    auto device = createUinputPointer(DisplaySize{1024, 768}, error);
    if (device) {
        GTEST_SKIP() << "this machine has a usable /dev/uinput";
    }
    EXPECT_NE(error.find("uinput"), std::string::npos) << error;
}

}  // namespace
}  // namespace zorvan
