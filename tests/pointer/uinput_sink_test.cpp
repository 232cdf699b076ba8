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
    UinputSink sink{DisplaySize{1920, 1080}, std::unique_ptr<EvdevEventWriter>(writer)};
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

TEST(UinputSinkUnavailableTest, DropsEverythingAndSaysWhyOnce) {
    UinputSink sink(DisplaySize{800, 600}, nullptr, "uinput: cannot open /dev/uinput: test");
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
