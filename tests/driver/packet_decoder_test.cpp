#include "driver/packet_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "driver/mode_signatures.h"
#include "pointer/recording_sink.h"

namespace zorvan {
namespace {

struct Call {
    float x;
    float y;
    bool down;
    friend bool operator==(const Call&, const Call&) = default;
};

Packet dataPacket(std::uint8_t code, int a, int b) {
    return makeDataPacket(code, a, b);
}

Packet modePacket(std::uint8_t b0, std::uint8_t b1) {
    return {b0, b1, 0x12, 0x34, 0, 0, 0, 0};
}

class DecoderTest : public ::testing::Test {
  protected:
    DecoderTest()
        : decoder(state, tables, sink,
                  {[this](float x, float y, bool down) {
                       calls.push_back({x, y, down});
                   },
                   // An offset that tells mapped points from raw ones.
                   [](float x, float y) {
                       return ScreenPoint{x + 0.5f, y + 0.25f};
                   },
                   [this] { ++calivoRequests; }}) {}

    void feed(const Packet& packet, int times = 1) {
        for (int i = 0; i < times; ++i) {
            decoder.decode(packet, iDownSkip);
        }
    }
    void selectTouch(bool softKeys) { feed(modePacket(0xC8, softKeys ? 0xDD : 0xCC)); }
    void selectPen(bool softKeys) { feed(modePacket(0xE8, softKeys ? 0xDD : 0xCE)); }

    DecoderState state;
    CalibrationTables tables;
    RecordingSink sink;
    std::vector<Call> calls;
    int calivoRequests = 0;
    std::int32_t iDownSkip = 0;
    PacketDecoder decoder;
};

TEST_F(DecoderTest, DropsThreeDownPacketsThenPassesTouchPositionsWithSwappedAxes) {
    selectTouch(false);
    feed(dataPacket(T_DOWN, 1000, 3000), 3);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(iDownSkip, 3);
    feed(dataPacket(T_DOWN, 1000, 3000));
    // Touch frames report y first: A (b3, b4) is y, B (b5, b6) is x.
    EXPECT_EQ(calls, (std::vector<Call>{{3000.0f, 1000.0f, true}}));
}

TEST_F(DecoderTest, PenPositionsKeepTheirAxes) {
    feed(dataPacket(E_DOWN, 1000, 3000), 4);
    EXPECT_EQ(calls, (std::vector<Call>{{1000.0f, 3000.0f, true}}));
}

TEST_F(DecoderTest, IgnoresTheTopTwoBitsOfEveryCoordinateByte) {
    const Packet noisy{Data_Head, 0xFF, E_DOWN, 0x7F, 0x40, 0xC1, 0xFF, 0xAA};
    EXPECT_EQ(PacketDecoder::rawPosition(noisy, false), (RawPoint{4032.0f, 127.0f}));
    const Packet clean{Data_Head, 0x00, E_DOWN, 0x3F, 0x00, 0x01, 0x3F, 0x00};
    EXPECT_EQ(PacketDecoder::rawPosition(clean, false), PacketDecoder::rawPosition(noisy, false));
}

TEST_F(DecoderTest, ActsOnEveryThirdTouchLiftAndResetsTheDropCount) {
    selectTouch(false);
    feed(dataPacket(T_DOWN, 100, 200), 4);
    feed(dataPacket(T_UP, 100, 200), 2);
    EXPECT_EQ(calls.size(), 1u);
    feed(dataPacket(T_UP, 110, 210));
    EXPECT_EQ(calls.back(), (Call{210.0f, 110.0f, false}));
    EXPECT_EQ(state.T_UPCount, 0);
    EXPECT_EQ(iDownSkip, 0);

    // The next stroke has its first three downs dropped again.
    calls.clear();
    feed(dataPacket(T_DOWN, 100, 200), 3);
    EXPECT_TRUE(calls.empty());
}

TEST_F(DecoderTest, ALoneTouchLiftCountsTowardTheNextStroke) {
    selectTouch(false);
    feed(dataPacket(T_DOWN, 100, 200), 4);
    feed(dataPacket(T_UP, 100, 200));
    EXPECT_EQ(state.T_UPCount, 1);
    EXPECT_EQ(iDownSkip, 3);

    // Not dropped: the lift was never acted on.
    calls.clear();
    feed(dataPacket(T_DOWN, 300, 400));
    ASSERT_EQ(calls.size(), 1u);
    feed(dataPacket(T_UP, 300, 400));
    EXPECT_EQ(calls.size(), 1u);
    feed(dataPacket(T_UP, 300, 400));
    EXPECT_EQ(calls.back(), (Call{400.0f, 300.0f, false}));
}

TEST_F(DecoderTest, ActsOnEveryPenLift) {
    feed(dataPacket(E_DOWN, 10, 20), 4);
    feed(dataPacket(E_UP, 11, 21));
    feed(dataPacket(E_UP, 12, 22));
    EXPECT_EQ(calls, (std::vector<Call>{{10, 20, true}, {11, 21, false}, {12, 22, false}}));
    EXPECT_EQ(iDownSkip, 0);
}

TEST_F(DecoderTest, ModePacketsSetModeAndKeysButNotTheStroke) {
    feed(dataPacket(E_DOWN, 10, 20), 2);
    feed(modePacket(0xE8, 0xDD));
    EXPECT_FALSE(state.bTouch);
    EXPECT_TRUE(state.bSofeKey);
    feed(modePacket(0xC8, 0xCC));
    EXPECT_TRUE(state.bTouch);
    EXPECT_FALSE(state.bSofeKey);
    feed(modePacket(0xE8, 0x00));  // no such signature
    EXPECT_TRUE(state.bTouch);
    EXPECT_FALSE(state.bSofeKey);
    EXPECT_EQ(iDownSkip, 2);
    feed(dataPacket(T_DOWN, 10, 20));
    EXPECT_TRUE(calls.empty());
    feed(dataPacket(T_DOWN, 10, 20));
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(DecoderTest, EverySignatureSelectsItsMode) {
    for (const ModeSignature& signature : kModeSignatures) {
        state.bTouch = !signature.bTouch;
        state.bSofeKey = !signature.bSofeKey;
        feed(signature.bytes);
        EXPECT_EQ(state.bTouch, signature.bTouch) << signature.name;
        EXPECT_EQ(state.bSofeKey, signature.bSofeKey) << signature.name;
    }
}

TEST_F(DecoderTest, CalibrationCommandsOnlyInTheirMode) {
    for (const std::uint8_t code : {E_CMD_CALIVO, E_CMD_CALIVO2, E_CMD_CALIVO3}) {
        feed(dataPacket(code, 0, 0));
    }
    feed(dataPacket(T_CMD_CALIVO, 0, 0));
    EXPECT_EQ(calivoRequests, 3);

    selectTouch(false);
    for (const std::uint8_t code : {E_CMD_CALIVO, E_CMD_CALIVO2, E_CMD_CALIVO3, E_KEY1, E_KEY2}) {
        feed(dataPacket(code, 0, 0));
    }
    EXPECT_EQ(calivoRequests, 3);
    EXPECT_TRUE(sink.events.empty());
    feed(dataPacket(T_CMD_CALIVO, 0, 0));
    EXPECT_EQ(calivoRequests, 4);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(iDownSkip, 0);
}

TEST_F(DecoderTest, DoubleClickCommandsComeInPairs) {
    feed(dataPacket(E_KEY1, 100, 200));
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0], (MouseEvent{MouseEventType::LeftDown, {100.5f, 200.25f}, {}}));
    feed(dataPacket(E_KEY1, 300, 400));
    ASSERT_EQ(sink.events.size(), 4u);
    EXPECT_EQ(sink.events[1].type, MouseEventType::LeftUp);
    EXPECT_EQ(sink.events[2], (MouseEvent{MouseEventType::LeftDown, {300.5f, 400.25f}, 2}));
    EXPECT_EQ(sink.events[3], (MouseEvent{MouseEventType::LeftUp, {300.5f, 400.25f}, 2}));
    EXPECT_EQ(state.iDClick, 0);
    EXPECT_TRUE(calls.empty());
}

TEST_F(DecoderTest, RightClickCommandsMakeOneClickPerPair) {
    feed(dataPacket(E_KEY2, 100, 200));
    feed(dataPacket(E_KEY2, 300, 400));
    const ScreenPoint at{100.5f, 200.25f};
    EXPECT_EQ(sink.events, (std::vector<MouseEvent>{{MouseEventType::LeftUp, at, {}},
                                                    {MouseEventType::RightDown, at, {}},
                                                    {MouseEventType::RightUp, at, {}}}));
    feed(dataPacket(E_KEY2, 500, 600));
    EXPECT_EQ(sink.events.size(), 6u);
}

TEST_F(DecoderTest, TouchSoftKeyHoldFiresAtTheEighthCountedHit) {
    tables.ptTBtn[12] = {2000.0f, 1000.0f};
    tables.ptTBtn[26] = {4000.0f, 4000.0f};
    selectTouch(true);
    // Touch axes: x from B, y from A.
    const Packet onKey = dataPacket(T_DOWN, 1000, 2000);
    feed(onKey, 3 + 7);
    EXPECT_EQ(calivoRequests, 0);
    feed(onKey);  // the 11th down packet, the 8th counted
    EXPECT_EQ(calivoRequests, 1);
    EXPECT_FALSE(state.bptBtnRun.load());
    feed(onKey, 20);
    EXPECT_EQ(calivoRequests, 1);
    EXPECT_TRUE(calls.empty());

    // The lift is a release like any other and re-arms the hold.
    feed(dataPacket(T_UP, 1000, 2000), 3);
    EXPECT_EQ(calls, (std::vector<Call>{{2000.0f, 1000.0f, false}}));
    EXPECT_TRUE(state.bptBtnRun.load());
    EXPECT_EQ(state.btnData, 0);
}

TEST_F(DecoderTest, PenSoftKeyHitsAddUpAcrossPresses) {
    tables.ptEBtn[26] = {500.0f, 600.0f};
    selectPen(true);
    const Packet onKey = dataPacket(E_DOWN, 500, 600);
    feed(onKey, 3 + 3);
    feed(dataPacket(E_UP, 500, 600));
    EXPECT_EQ(state.btnData, 3);
    feed(onKey, 3 + 2);
    EXPECT_EQ(calivoRequests, 0);
    feed(onKey);
    EXPECT_EQ(calivoRequests, 1);
    EXPECT_EQ(state.btnData, 0);
}

TEST_F(DecoderTest, SoftKeyBoxIsOpenAndKeysOffPassPositionsOn) {
    tables.ptEBtn[12] = {1000.0f, 2000.0f};
    tables.ptEBtn[26] = {4000.0f, 100.0f};
    selectPen(true);
    iDownSkip = 3;
    feed(dataPacket(E_DOWN, 1024, 1976));
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(state.btnData, 1);
    feed(dataPacket(E_DOWN, 1025, 2000));
    EXPECT_EQ(calls, (std::vector<Call>{{1025.0f, 2000.0f, true}}));

    selectPen(false);
    feed(dataPacket(E_DOWN, 1000, 2000));
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(state.btnData, 1);
}

TEST_F(DecoderTest, HandEditedKeyPositionsNeverOverflow) {
    // Out-of-range floats must not reach an int conversion unchecked.
    tables.ptEBtn[12] = {std::numeric_limits<float>::infinity(), 0.0f};
    tables.ptEBtn[26] = {std::nanf(""), 0.0f};
    selectPen(true);
    feed(dataPacket(E_DOWN, 0, 0), 5);
    EXPECT_EQ(calls.size(), 2u);
}

}  // namespace
}  // namespace zorvan
