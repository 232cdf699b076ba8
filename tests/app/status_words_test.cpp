// The status in the teacher's words, and the screens the menu offers.
#include "app/status_words.h"

#include <gtest/gtest.h>

#include "app/screen_menu.h"
#include "driver/board_status.h"
#include "driver/run_flags.h"

namespace zorvan::app {
namespace {

using Board = BoardStatusSnapshot::Board;
using Mode = BoardStatus::Mode;
using Calibration = BoardStatus::Calibration;

TEST(PlainStatus, EveryStateHasPlainWordsAndItsTrayLook) {
    const QTime at(14, 2, 31);
    struct Case {
        BoardStatusSnapshot s;
        CalibrationFacts facts;
        QString board, calibration;
        bool offer;
        TrayLook look;
    };
    const Case cases[] = {
        {{Board::Waiting, Mode::Unknown, Calibration::NotLoaded},
         {},
         "Waiting for the board — is it plugged in?",
         "The calibration is read once the board is connected",
         false,
         TrayLook::Waiting},
        {{Board::Connected, Mode::PenKeys, Calibration::BuiltIn, 2, 2},
         {"DUMMY1", {}},
         "Board connected (pen)",
         "Not calibrated — Calibrate…",
         true,
         TrayLook::Connected},
        {{Board::Connected, Mode::Touch, Calibration::Stored, 3, 3},
         {"DUMMY1", at},
         "Board connected (touch)",
         "Calibrated 3×3 on DUMMY1 at 14:02",
         false,
         TrayLook::Connected},
        {{Board::Paused, Mode::Pen, Calibration::Stored, 5, 4},
         {"HDMI-1", {}},
         "Paused while the calibration tool runs",
         "Calibrated 5×4 on HDMI-1",
         false,
         TrayLook::Paused},
        {{Board::Unplugged, Mode::Unknown, Calibration::Stored, 2, 2, false},
         {},
         "Board unplugged — plug it in again",
         "The calibration does not fit the board — Calibrate…",
         true,
         TrayLook::Unplugged},
        {{Board::Connected, Mode::Pen, Calibration::Stored, 3, 3, true,
          CalibrationOrigin::MachineWide},
         {"DUMMY1", {}},
         "Board connected (pen)",
         "Calibrated 3×3 on DUMMY1 (machine-wide, for every account)",
         false,
         TrayLook::Connected},
        {{Board::Connected, Mode::Unknown, Calibration::Stored, 4, 3},
         {"DUMMY0", {}},
         "Board connected",
         "The saved calibration cannot be used — Calibrate…",
         true,
         TrayLook::Connected},
    };
    for (const Case& c : cases) {
        const PlainStatus p = plainStatus(c.s, c.facts);
        EXPECT_EQ(p.board, c.board);
        EXPECT_EQ(p.calibration, c.calibration);
        EXPECT_EQ(p.offerCalibration, c.offer) << p.calibration.toStdString();
        EXPECT_EQ(p.look, c.look) << p.board.toStdString();
        EXPECT_TRUE(p.toolTip.contains(c.board) && p.toolTip.contains(c.calibration));
    }
}

TEST(PlainStatus, AnUnplugForgetsTheBoardsModeAndAReplugWaitsForTheNewOne) {
    RunFlags flags;
    BoardStatus status;
    const auto board = [&] { return plainStatus(takeSnapshot(flags, status), {}).board; };
    EXPECT_EQ(board(), "Waiting for the board — is it plugged in?");
    flags.iRun.store(5);
    status.publishBoardOpen(true);
    status.publishMode(false, false);
    EXPECT_EQ(board(), "Board connected (pen)");

    flags.iRun.store(-1);  // unplugged: the reader has closed the board
    status.publishBoardOpen(false);
    EXPECT_EQ(board(), "Board unplugged — plug it in again");

    flags.iRun.store(6);  // plugged in again, no mode reported yet
    status.publishBoardOpen(true);
    EXPECT_EQ(board(), "Board connected");
}

TEST(ScreenMenu, ListsEveryScreenChecksTheBoardsAndLocksThemUnderACommandLineScreen) {
    const std::vector<ScreenInfo> screens = {
        {"DUMMY0", {0, 0, 1024, 768}, {1024, 768}, true},
        {"DUMMY1", {1024, 0, 800, 600}, {800, 600}, false},
    };
    struct Case {
        std::string board, commandLine;
        std::vector<ScreenMenuItem> expected;
    };
    const Case cases[] = {
        {"DUMMY0",
         "",
         {{"&1  DUMMY0 — 1024×768, primary", "DUMMY0", true, true},
          {"&2  DUMMY1 — 800×600", "DUMMY1", false, true}}},
        {"DUMMY1",
         "DUMMY1",
         {{"&1  DUMMY0 — 1024×768, primary", "DUMMY0", false, false},
          {"&2  DUMMY1 — 800×600", "DUMMY1", true, false}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(screenMenuItems(screens, c.board, c.commandLine), c.expected);
    }
}

}  // namespace
}  // namespace zorvan::app
