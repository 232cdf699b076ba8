// The whole road from board bytes to pointer events, with no thread, no
// device and no display: framer, decoder, calibration, gestures, primitives.
#include "driver/board_input.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "calibration/memory_settings_store.h"
#include "calibration/read_system_param.h"
#include "driver/packet_framer.h"
#include "pointer/recording_sink.h"

namespace zorvan {
namespace {

class FixedDisplay : public MainDisplay {
  public:
    DisplaySize pixelSize() const override { return {1000, 800}; }
};

Packet data(std::uint8_t code, int a, int b) {
    return makeDataPacket(code, a, b);
}

void expectEvent(const MouseEvent& event, MouseEventType type, float x, float y,
                 std::optional<int> clickState = {}) {
    EXPECT_EQ(event.type, type);
    EXPECT_NEAR(event.point.x, x, 1e-3);
    EXPECT_NEAR(event.point.y, y, 1e-3);
    EXPECT_EQ(event.clickState, clickState);
}

constexpr Packet kPenKeysOff{0xE8, 0xCE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD9};
constexpr Packet kTouchKeysOff{0xC8, 0xCC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB};

class BoardInputTest : public ::testing::Test {
  protected:
    BoardInputTest()
        : input(
              sink, [this] { ++calivoRequests; }, [this] { return now; }) {
        // Raw (500, 400)..(3500, 3600) seen at the dots 10% in from each edge.
        store.setInteger("DotCount", 2);
        const float xs[] = {500, 500, 3500, 3500};
        const float ys[] = {400, 3600, 400, 3600};
        for (int dot = 0; dot < 4; ++dot) {
            store.setFloat("Dot" + std::to_string(dot) + ".x", xs[dot]);
            store.setFloat("Dot" + std::to_string(dot) + ".y", ys[dot]);
        }
        EXPECT_TRUE(ReadSystemParam(input.tables(), store, display, 4242, bGet, [] {}));
    }

    // Sends packets as a byte stream cut at awkward places, as reads return it.
    void send(const std::vector<Packet>& packets) {
        std::vector<std::uint8_t> bytes;
        for (const Packet& packet : packets) {
            bytes.insert(bytes.end(), packet.begin(), packet.end());
        }
        for (std::size_t at = 0; at < bytes.size(); at += 5) {
            const std::size_t n = std::min<std::size_t>(5, bytes.size() - at);
            framer.push(std::span(bytes).subspan(at, n),
                        [this](const Packet& packet) { input.decode(packet, iDownSkip); });
        }
    }

    RecordingSink sink;
    int calivoRequests = 0;
    std::chrono::nanoseconds now{0};
    BoardInput input;
    MemorySettingsStore store;
    FixedDisplay display;
    std::atomic<bool> bGet{true};
    PacketFramer framer;
    std::int32_t iDownSkip = 0;
};

TEST_F(BoardInputTest, PenStrokeBecomesPressSmoothedDragAndRelease) {
    send({kPenKeysOff, data(0x51, 2000, 2000), data(0x51, 2000, 2000), data(0x51, 2000, 2000),
          data(0x51, 2000, 2000), data(0x51, 2300, 2000), data(0x51, 2600, 2000),
          data(0x61, 2600, 2000)});
    ASSERT_EQ(sink.events.size(), 4u);
    expectEvent(sink.events[0], MouseEventType::LeftDown, 500, 400);
    // The pen filter's first sample is posted as it is, later ones smoothed.
    expectEvent(sink.events[1], MouseEventType::LeftDragged, 580, 400);
    expectEvent(sink.events[2], MouseEventType::LeftDragged, 0.6f * 660 + 0.4f * 580, 400);
    expectEvent(sink.events[3], MouseEventType::LeftUp, 660, 400);
}

TEST_F(BoardInputTest, TouchStrokeSwapsAxesAndLiftsAtTheThirdUp) {
    // Touch frames send y first.
    std::vector<Packet> stroke{kTouchKeysOff};
    for (int i = 0; i < 6; ++i) {
        stroke.push_back(data(0x51, 3600, 500 + 30 * i));
    }
    stroke.insert(stroke.end(), 3, data(0x61, 3600, 650));
    send(stroke);
    // Dropped, dropped, dropped, press, the touch filter's reference, a drag.
    ASSERT_EQ(sink.events.size(), 3u);
    expectEvent(sink.events[0], MouseEventType::LeftDown, 124, 720);
    expectEvent(sink.events[1], MouseEventType::LeftDragged, 0.6f * 140 + 0.4f * 132, 720);
    expectEvent(sink.events[2], MouseEventType::LeftUp, 140, 720);
}

TEST_F(BoardInputTest, ThreeQuickTapsEndInADoubleClick) {
    send({kPenKeysOff});
    for (int tap = 0; tap < 3; ++tap) {
        now += std::chrono::milliseconds(100);
        send({data(0x51, 2000, 2000), data(0x51, 2000, 2000), data(0x51, 2000, 2000),
              data(0x51, 2000, 2000), data(0x61, 2000, 2000)});
    }
    ASSERT_EQ(sink.events.size(), 9u);
    expectEvent(sink.events[6], MouseEventType::LeftDown, 500, 400, 2);
    expectEvent(sink.events[7], MouseEventType::LeftUp, 500, 400, 2);
    EXPECT_EQ(sink.events[8].type, MouseEventType::LeftUp);
}

TEST_F(BoardInputTest, HeldSoftKeyAsksOnceUntilBtnCheckRearmsIt) {
    // Pen soft key 12 at raw (1000, 1000): ReadSystemParam left the tolerance at 18.
    input.tables().ptEBtn[12] = {1000.0f, 1000.0f};
    const Packet penKeysOn{0xE8, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xCA};
    send({penKeysOn});
    send(std::vector<Packet>(3 + 6, data(0x51, 1000, 1000)));
    EXPECT_EQ(calivoRequests, 1);
    send(std::vector<Packet>(10, data(0x51, 1000, 1000)));
    EXPECT_EQ(calivoRequests, 1);

    std::thread([this] { input.btnCheck(); }).join();
    send(std::vector<Packet>(6, data(0x51, 1000, 1000)));
    EXPECT_EQ(calivoRequests, 2);
    EXPECT_TRUE(sink.events.empty());
}

// Whether the events leave the left button pressed.
bool leftHeld(const std::vector<MouseEvent>& events) {
    bool held = false;
    for (const MouseEvent& event : events) {
        if (const auto change = buttonChange(event.type);
            change && change->button == ButtonChange::Button::Left) {
            held = change->pressed;
        }
    }
    return held;
}

std::vector<std::uint8_t> bytesOf(const std::vector<Packet>& packets) {
    std::vector<std::uint8_t> bytes;
    for (const Packet& packet : packets) {
        bytes.insert(bytes.end(), packet.begin(), packet.end());
    }
    return bytes;
}

TEST_F(BoardInputTest, APressWhoseLiftIsLostIsReleasedWhenTheBoardFallsSilent) {
    const auto penStroke = bytesOf({kPenKeysOff, data(0x51, 2000, 2000), data(0x51, 2000, 2000),
                                    data(0x51, 2000, 2000), data(0x51, 2000, 2000),
                                    data(0x51, 2300, 2000), data(0x51, 2600, 2000)});
    const auto lift = bytesOf({data(0x61, 2600, 2000)});
    const auto join = [](std::vector<std::vector<std::uint8_t>> parts) {
        std::vector<std::uint8_t> bytes;
        for (const auto& part : parts) {
            bytes.insert(bytes.end(), part.begin(), part.end());
        }
        return bytes;
    };
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    const Case cases[] = {
        {"the board vanishes mid-packet", join({penStroke, {0xEE, 0x00, 0x51}})},
        {"a stray head byte swallows the lift", join({penStroke, {0xEE}, lift})},
        {"line noise switches to touch mode",
         join({penStroke, {0xC8, 0xCC, 0x01, 0x02, 0x03, 0x04, 0x05, 0x00}, lift})},
        {"the double-click command loses its second half",
         bytesOf({kPenKeysOff, data(0x85, 3000, 3000)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sink.events.clear();
        framer.clear();
        iDownSkip = 0;
        framer.push(c.bytes, [this](const Packet& packet) { input.decode(packet, iDownSkip); });
        ASSERT_TRUE(leftHeld(sink.events));
        const ScreenPoint last = sink.events.back().point;

        framer.clear();
        input.releaseHeldContact();
        EXPECT_FALSE(leftHeld(sink.events));
        EXPECT_EQ(sink.events.back(), (MouseEvent{MouseEventType::LeftUp, last, {}}));
        const std::size_t released = sink.events.size();
        input.releaseHeldContact();  // nothing more to let go
        EXPECT_EQ(sink.events.size(), released);

        // The next stroke presses where it starts instead of dragging there.
        send({kPenKeysOff, data(0x51, 1000, 1000), data(0x51, 1000, 1000), data(0x51, 1000, 1000),
              data(0x51, 1000, 1000)});
        ASSERT_GT(sink.events.size(), released);
        EXPECT_EQ(sink.events[released].type, MouseEventType::LeftDown);
        input.releaseHeldContact();
    }
}

TEST_F(BoardInputTest, CalibrationCommandReachesTheLauncher) {
    send({kPenKeysOff, data(0x28, 0, 0), kTouchKeysOff, data(0xA2, 0, 0)});
    EXPECT_EQ(calivoRequests, 2);
    EXPECT_TRUE(sink.events.empty());
}

}  // namespace
}  // namespace zorvan
