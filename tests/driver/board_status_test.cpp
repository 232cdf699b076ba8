// The status the window shows: what the reader publishes, and the words.
#include "driver/board_status.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "calibration/memory_settings_store.h"
#include "driver/board_input.h"
#include "driver/stored_calibration_loader.h"
#include "pointer/recording_sink.h"

namespace zorvan {
namespace {

using Board = BoardStatusSnapshot::Board;
using Mode = BoardStatus::Mode;
using Calibration = BoardStatus::Calibration;

BoardStatusSnapshot snapshot(Board board, Mode mode, Calibration calibration, int columns = 0,
                             int rows = 0, bool usable = true) {
    return {board, mode, calibration, columns, rows, usable};
}

TEST(BoardStatusText, EveryStateHasItsWords) {
    const std::string p = "/dev/ttyUSB0";
    struct Case {
        BoardStatusSnapshot s;
        std::string board, mode, calibration;
    };
    const Case cases[] = {
        {snapshot(Board::Waiting, Mode::Unknown, Calibration::NotLoaded),
         "waiting for the board at " + p, "mode not reported yet", "calibration not loaded yet"},
        {snapshot(Board::Connected, Mode::PenKeys, Calibration::BuiltIn, 2, 2),
         "board connected at " + p, "pen with soft keys", "default grid: not calibrated"},
        {snapshot(Board::Paused, Mode::Touch, Calibration::Stored, 3, 3),
         "board paused by the calibration tool", "touch, no soft keys", "calibrated, 3x3 grid"},
        {snapshot(Board::Connected, Mode::TouchKeys, Calibration::Stored, 5, 4, false),
         "board connected at " + p, "touch with soft keys",
         "calibrated, 5x4 grid that fails its check: recalibrate"},
        {snapshot(Board::Connected, Mode::Pen, Calibration::Stored, 4, 3),
         "board connected at " + p, "pen, no soft keys",
         "calibration unusable: DotCount 4 is no grid form"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(boardText(c.s, p), c.board);
        EXPECT_EQ(modeText(c.s), c.mode);
        EXPECT_EQ(calibrationText(c.s), c.calibration);
    }
}

TEST(BoardStatusText, OnlyChangesWorthALineAreLogged) {
    const auto waiting = snapshot(Board::Waiting, Mode::Unknown, Calibration::NotLoaded);
    const auto connected = snapshot(Board::Connected, Mode::Unknown, Calibration::NotLoaded);
    const auto paused = snapshot(Board::Paused, Mode::Unknown, Calibration::NotLoaded);
    const auto pen = snapshot(Board::Connected, Mode::PenKeys, Calibration::NotLoaded);
    const auto builtIn = snapshot(Board::Connected, Mode::PenKeys, Calibration::BuiltIn, 2, 2);
    const auto stored = snapshot(Board::Connected, Mode::PenKeys, Calibration::Stored, 2, 2);
    const auto failing =
        snapshot(Board::Connected, Mode::PenKeys, Calibration::Stored, 2, 2, false);
    struct Case {
        BoardStatusSnapshot before, after;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        // The reader says "board connected at" itself.
        {waiting, connected, {}},
        {connected, paused, {"reading paused by the calibration tool"}},
        {paused, connected, {"reading resumed"}},
        {paused, waiting, {}},
        {connected, pen, {"board mode: pen with soft keys"}},
        {pen, builtIn, {"calibration: default grid: not calibrated"}},
        {builtIn, stored, {"calibration: calibrated, 2x2 grid"}},
        {stored, failing, {"calibration: calibrated, 2x2 grid that fails its check: recalibrate"}},
        {stored, stored, {}},
        {waiting, stored, {"board mode: pen with soft keys", "calibration: calibrated, 2x2 grid"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(statusChangeLines(c.before, c.after), c.lines);
    }
}

class FixedDisplay : public MainDisplay {
  public:
    DisplaySize pixelSize() const override { return {1000, 800}; }
};

TEST(BoardStatusPublishing, TheRoadPublishesModeAndCalibrationAndTheFlagsTheBoard) {
    BoardStatus status;
    int told = 0;  // the window is told of each change, and only of changes
    status.onChange = [&told] { ++told; };
    RunFlags flags;
    RecordingSink sink;
    BoardInput input(sink, [] {});
    input.publishStatusTo(&status);
    std::int32_t iDownSkip = 0;

    struct ModeCase {
        Packet packet;
        Mode mode;
        int told;
    };
    const Packet touch{0xC8, 0xCC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB};
    const ModeCase modes[] = {
        {makeDataPacket(0x51, 100, 100), Mode::Unknown, 0},        // data says nothing of the mode
        {Packet{0x12, 0x34, 0, 0, 0, 0, 0, 0}, Mode::Unknown, 0},  // no signature
        {Packet{0xE8, 0xDD, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xCA}, Mode::PenKeys, 1},
        {touch, Mode::Touch, 2},
        {touch, Mode::Touch, 2},  // the same mode again is no change
        {makeDataPacket(0x51, 100, 100), Mode::Touch, 2},
    };
    for (const ModeCase& c : modes) {
        input.handlePacket(c.packet, iDownSkip);
        EXPECT_EQ(status.mode.load(), c.mode);
        EXPECT_EQ(told, c.told);
    }

    MemorySettingsStore store;
    FixedDisplay display;
    StoredCalibrationLoader loader(input.tables(), store, display, 77, flags.bGet, [] {});
    loader.publishStatusTo(&status);
    EXPECT_EQ(takeSnapshot(flags, status).calibration, Calibration::NotLoaded);
    loader.load();
    EXPECT_EQ(calibrationText(takeSnapshot(flags, status)), "default grid: not calibrated");
    EXPECT_EQ(told, 3);
    // A 3 x 3 grid with every dot at one place fails the spacing check.
    store.setInteger("DotCount", 3);
    loader.load();
    EXPECT_EQ(calibrationText(takeSnapshot(flags, status)),
              "calibrated, 3x3 grid that fails its check: recalibrate");

    struct BoardCase {
        std::int32_t iRun;
        bool bRun;
        Board board;
    };
    const BoardCase boards[] = {
        {0, true, Board::Waiting},   {-1, true, Board::Waiting}, {-1, false, Board::Waiting},
        {7, true, Board::Connected}, {7, false, Board::Paused},
    };
    for (const BoardCase& c : boards) {
        flags.iRun.store(c.iRun);
        flags.bRun.store(c.bRun);
        EXPECT_EQ(takeSnapshot(flags, status).board, c.board) << c.iRun << " " << c.bRun;
    }
}

}  // namespace
}  // namespace zorvan
