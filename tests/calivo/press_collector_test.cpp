#include "tools/calivo/press_collector.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/decoder_state.h"
#include "driver/mode_signatures.h"

namespace zorvan::calivo {
namespace {

Packet modePacket(const char* name) {
    for (const ModeSignature& signature : kModeSignatures) {
        if (signature.name == name) {
            return signature.bytes;
        }
    }
    return {};
}

// Bytes as the board sends them: coordinate A in b3-b4, B in b5-b6.
Packet down(int a, int b) {
    return makeDataPacket(E_DOWN, a, b);
}
Packet up(int a, int b) {
    return makeDataPacket(E_UP, a, b);
}

struct Feed {
    PressCollector collector;
    std::vector<Press> presses;
    void operator()(const Packet& packet) {
        if (auto press = collector.push(packet)) {
            presses.push_back(*press);
        }
    }
    // n downs at (a, b) in the board's byte order, then one up.
    void hold(int a, int b, int n) {
        for (int i = 0; i < n; ++i) {
            (*this)(down(a, b));
        }
        (*this)(up(a, b));
    }
};

TEST(PressCollector, MedianTakesEachAxisInTheModesAxisOrder) {
    struct Case {
        const char* mode;
        std::vector<std::pair<int, int>> downs;  // (A, B) as sent
        RawPoint median;
        bool touch;
    };
    const Case cases[] = {
        // The first three downs are wild and dropped; pen mode: x = A, y = B.
        {"ElecH_Cmp",
         {{4000, 10},
          {4000, 10},
          {4000, 10},
          {500, 900},
          {503, 898},
          {499, 905},
          {501, 899},
          {502, 901}},
         {501, 900},
         false},
        // Touch mode: x = B, y = A. An even count averages the two middle values.
        {"TouchH_Cmp",
         {{0, 0},
          {0, 0},
          {0, 0},
          {700, 300},
          {704, 302},
          {702, 306},
          {706, 301},
          {701, 303},
          {703, 304}},
         {302.5f, 702.5f},
         true},
    };
    for (const Case& c : cases) {
        Feed feed;
        feed(modePacket(c.mode));
        for (const auto& [a, b] : c.downs) {
            feed(down(a, b));
        }
        EXPECT_TRUE(feed.collector.pressing()) << c.mode;
        feed(up(0, 0));
        ASSERT_EQ(feed.presses.size(), 1u) << c.mode;
        EXPECT_EQ(feed.presses[0].median, c.median) << c.mode;
        EXPECT_EQ(feed.presses[0].touch, c.touch) << c.mode;
        EXPECT_EQ(feed.presses[0].samples, static_cast<int>(c.downs.size()) - 3) << c.mode;
        EXPECT_EQ(feed.presses[0].fault, PressFault::None) << c.mode;
    }
}

TEST(PressCollector, ShortWanderingAndModeSwitchingPressesAreRefused) {
    struct Case {
        std::string name;
        std::vector<Packet> packets;
        PressFault fault;
    };
    std::vector<Packet> wander{modePacket("ElecH_Cmp")};
    for (int i = 0; i < 10; ++i) {
        wander.push_back(down(1000 + 25 * i, 1000));  // a slow drag
    }
    wander.push_back(up(1000, 1000));
    // One sample 300 units off among 20 kept: the median absorbs it.
    std::vector<Packet> spike{modePacket("ElecH_Cmp")};
    for (int i = 0; i < 23; ++i) {
        spike.push_back(down(i == 12 ? 1300 : 1000, i == 12 ? 700 : 1000));
    }
    spike.push_back(up(1000, 1000));
    // A fifth of the samples off (4 of 20) is still a spike; five is a slide.
    std::vector<Packet> fourOff{modePacket("ElecH_Cmp")}, fiveOff{modePacket("ElecH_Cmp")};
    for (int i = 0; i < 23; ++i) {
        fourOff.push_back(down(i >= 19 ? 1100 : 1000, 1000));
        fiveOff.push_back(down(i >= 18 ? 1100 : 1000, 1000));
    }
    fourOff.push_back(up(1000, 1000));
    fiveOff.push_back(up(1000, 1000));
    std::vector<Packet> steady{modePacket("ElecH_Cmp")};
    for (int i = 0; i < 10; ++i) {
        steady.push_back(down(1000 + (i % 3) * 20, 1000 - (i % 2) * 20));
    }
    steady.push_back(up(1000, 1000));
    const std::vector<Packet> modeSwitch{down(1, 1),
                                         down(1, 1),
                                         down(1, 1),
                                         down(1, 1),
                                         down(1, 1),
                                         down(1, 1),
                                         modePacket("TouchH_Cmp"),
                                         down(1, 1),
                                         down(1, 1),
                                         up(1, 1)};
    const Case cases[] = {
        // 3 dropped + 4 kept: one short of the five needed.
        {"four kept samples",
         {down(5, 5), down(5, 5), down(5, 5), down(5, 5), down(5, 5), down(5, 5), down(5, 5),
          up(5, 5)},
         PressFault::TooShort},
        {"only dropped downs", {down(5, 5), down(5, 5), up(5, 5)}, PressFault::TooShort},
        {"a drag", wander, PressFault::Wandered},
        {"jitter within the limit", steady, PressFault::None},
        {"one spike among twenty", spike, PressFault::None},
        {"a fifth of the samples off", fourOff, PressFault::None},
        {"more than a fifth off", fiveOff, PressFault::Wandered},
        {"mode switch mid-press", modeSwitch, PressFault::ModeChanged},
    };
    for (const Case& c : cases) {
        Feed feed;
        for (const Packet& packet : c.packets) {
            feed(packet);
        }
        ASSERT_EQ(feed.presses.size(), 1u) << c.name;
        EXPECT_EQ(feed.presses[0].fault, c.fault) << c.name;
        if (c.name == "one spike among twenty") {
            EXPECT_EQ(feed.presses[0].median, (RawPoint{1000, 1000}));
        }
    }
}

TEST(PressCollector, RepeatedLiftsAndStrayUpsMakeNoPressAndTheDropCountRestarts) {
    Feed feed;
    feed(modePacket("TouchS_Cmp"));
    feed(up(1, 1));  // an up without a press
    feed.hold(100, 200, 8);
    feed(up(100, 200));  // the touch frame repeats its lift
    feed(up(100, 200));
    feed(makeDataPacket(T_CMD_CALIVO, 0, 0));  // commands mean nothing here
    // The next press drops its own first three downs again.
    feed(down(4000, 4000));
    feed(down(4000, 4000));
    feed(down(4000, 4000));
    for (int i = 0; i < 5; ++i) {
        feed(down(300, 400));
    }
    feed(up(300, 400));
    ASSERT_EQ(feed.presses.size(), 2u);
    EXPECT_EQ(feed.presses[0].median, (RawPoint{200, 100}));
    EXPECT_EQ(feed.presses[1].median, (RawPoint{400, 300}));
    EXPECT_EQ(feed.presses[1].fault, PressFault::None);
}

TEST(PressCollector, ResetForgetsAPressUnderWay) {
    Feed feed;
    for (int i = 0; i < 6; ++i) {
        feed(down(4000, 4000));
    }
    feed.collector.reset();
    feed.hold(1000, 2000, 8);
    ASSERT_EQ(feed.presses.size(), 1u);
    EXPECT_EQ(feed.presses[0].median, (RawPoint{1000, 2000}));
    EXPECT_EQ(feed.presses[0].samples, 5);
}

}  // namespace
}  // namespace zorvan::calivo
