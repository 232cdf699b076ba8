#include "tools/board_sim/sim_script.h"

#include <gtest/gtest.h>

namespace zorvan::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes play(std::string_view script) {
    std::vector<SimStep> steps;
    const auto error = readScript(script, steps);
    EXPECT_FALSE(error) << *error;
    Bytes bytes;
    for (const SimStep& step : steps) {
        bytes.insert(bytes.end(), step.bytes.begin(), step.bytes.end());
    }
    return bytes;
}

Bytes tail(const Bytes& bytes, std::size_t from) {
    return Bytes(bytes.begin() + from, bytes.end());
}

Bytes packets(std::initializer_list<Packet> list) {
    Bytes bytes;
    for (const Packet& p : list) {
        bytes.insert(bytes.end(), p.begin(), p.end());
    }
    return bytes;
}

TEST(BoardSimScript, DataPacketsFollowTheModesAxes) {
    // 1000 = 15 * 64 + 40, 3000 = 46 * 64 + 56
    EXPECT_EQ(dataPacket(0x51, 1000, 3000, {.touch = false}),
              (Packet{0xEE, 0x00, 0x51, 15, 40, 46, 56, 0x00}));
    EXPECT_EQ(dataPacket(0x61, 1000, 3000, {.touch = true}),
              (Packet{0xEE, 0x00, 0x61, 46, 56, 15, 40, 0x00}));
    EXPECT_EQ(play("down 1000 3000 # pen by default\nmode touch\nup 1000 3000"),
              packets({dataPacket(0x51, 1000, 3000, {false}),
                       {0xC8, 0xCC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB},
                       dataPacket(0x61, 1000, 3000, {true})}));
}

TEST(BoardSimScript, ModesByShortAndSignatureName) {
    EXPECT_EQ(play("mode pen")[1], 0xCE);
    EXPECT_EQ(play("mode pen-keys")[1], 0xDD);
    EXPECT_EQ(play("mode touch-keys"), packets({{0xC8, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEA}}));
    EXPECT_EQ(play("mode Elec_NHCmp_50"),
              packets({{0xE5, 0xED, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF7}}));
    // A pen signature switches a touch script back to pen axes.
    EXPECT_EQ(tail(play("mode touch\nmode ElecS_Cmp_120\ndown 1 2"), 16),
              packets({dataPacket(0x51, 1, 2, {false})}));
}

TEST(BoardSimScript, CommandsOfEachMode) {
    EXPECT_EQ(play("calibrate"), packets({dataPacket(0x28, 0, 0, {false})}));
    EXPECT_EQ(tail(play("mode touch\ncalibrate"), 8), packets({dataPacket(0xA2, 0, 0, {true})}));
    EXPECT_EQ(play("key1 5 6\nkey2 7 8"),
              packets({dataPacket(0x85, 5, 6, {false}), dataPacket(0x87, 7, 8, {false})}));
    EXPECT_EQ(play("hex EE 0x00 51 1 2 3 4 ff"), (Bytes{0xEE, 0, 0x51, 1, 2, 3, 4, 0xFF}));
}

TEST(BoardSimScript, StrokesAndHoldsEndWithTheLiftOfTheMode) {
    const SimMode pen{false};
    EXPECT_EQ(play("stroke 0 100 300 400 4"),
              packets({dataPacket(0x51, 0, 100, pen), dataPacket(0x51, 100, 200, pen),
                       dataPacket(0x51, 200, 300, pen), dataPacket(0x51, 300, 400, pen),
                       dataPacket(0x61, 300, 400, pen)}));
    const SimMode touch{true};
    const Packet up = dataPacket(0x61, 9, 9, touch);
    EXPECT_EQ(tail(play("mode touch\nhold 9 9 2"), 8),
              packets({dataPacket(0x51, 9, 9, touch), dataPacket(0x51, 9, 9, touch), up, up, up}));
    EXPECT_EQ(play("stroke 7 8 9 10 1"),
              packets({dataPacket(0x51, 7, 8, pen), dataPacket(0x61, 9, 10, pen)}));
}

TEST(BoardSimScript, WaitsSplitTheLineAndRepeatsNest) {
    std::vector<SimStep> steps;
    ASSERT_FALSE(
        readScript("repeat 2\n  down 1 1\n  repeat 2\n    wait 5\n  end\nend\nup 1 1", steps));
    const Bytes down = packets({dataPacket(0x51, 1, 1, {})});
    const Bytes up = packets({dataPacket(0x61, 1, 1, {})});
    EXPECT_EQ(steps, (std::vector<SimStep>{{down, std::chrono::milliseconds(5)},
                                           {{}, std::chrono::milliseconds(5)},
                                           {down, std::chrono::milliseconds(5)},
                                           {{}, std::chrono::milliseconds(5)},
                                           {up, {}}}));
}

TEST(BoardSimScript, LinesReadAsTheyComeYieldStepsWhenACommandIsComplete) {
    ScriptReader reader;
    std::vector<SimStep> steps;
    EXPECT_FALSE(reader.addLine("repeat 3", steps));
    EXPECT_FALSE(reader.addLine("down 1 1", steps));
    EXPECT_TRUE(steps.empty());
    EXPECT_EQ(reader.finish(), "line 2: repeat without end");
    EXPECT_FALSE(reader.addLine("end", steps));
    EXPECT_EQ(steps.at(0).bytes.size(), 24u);
    EXPECT_FALSE(reader.finish());
}

TEST(BoardSimScript, ReportsMalformedLinesWithTheirNumber) {
    const auto errorOf = [](std::string_view script) {
        std::vector<SimStep> steps;
        return readScript(script, steps).value_or("");
    };
    EXPECT_EQ(errorOf("# fine\nfly 1 2"), "line 2: unknown command 'fly'");
    EXPECT_EQ(errorOf("down 4096 0"), "line 1: '4096' is not a number from 0 to 4095");
    EXPECT_EQ(errorOf("down 1"), "line 1: down takes 2 numbers");
    EXPECT_EQ(errorOf("hex EG"), "line 1: 'EG' is not a hex byte");
    EXPECT_EQ(errorOf("hold 1 1 0"), "line 1: hold needs a count of at least 1");
    EXPECT_EQ(errorOf("mode sideways"),
              "line 1: mode takes one of pen, pen-keys, touch, touch-keys or a signature name");
    EXPECT_EQ(errorOf("end"), "line 1: end without repeat");
    EXPECT_EQ(errorOf("repeat 1000000\nrepeat 1000000\nend\nend"),
              "line 4: the command expands to more than 1000000 steps");
}

}  // namespace
}  // namespace zorvan::sim
