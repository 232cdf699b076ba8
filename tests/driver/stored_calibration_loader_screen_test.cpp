#include "driver/stored_calibration_loader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "calibration/memory_settings_store.h"
#include "calibration/read_system_param.h"

namespace zorvan {
namespace {

// The laptop (primary) and a projector beside it, or the projector alone
// after a change; a screen that is asked for and absent gives way to the primary.
class FakeScreens : public BoardScreenSource {
  public:
    BoardScreen boardScreen(const std::string& requested) const override {
        if (const auto it = screens.find(requested); it != screens.end()) {
            return it->second;
        }
        BoardScreen primary = screens.at(primaryName);
        primary.missing = requested;
        return primary;
    }
    std::map<std::string, BoardScreen> screens;
    std::string primaryName;
};

class PlacementSink : public MouseEventSink {
  public:
    void post(const MouseEvent&) override {}
    void place(const ScreenPlacement& placement) override { placed.push_back(placement); }
    std::vector<ScreenPlacement> placed;
};

constexpr DesktopRect kDesktop{0, 0, 3286, 1080};
const BoardScreen kLaptop{"eDP-1", {{1366, 768}, {0, 0, 1366, 768}, kDesktop}, ""};
const BoardScreen kProjector{"HDMI-1", {{1920, 1080}, {1366, 0, 1920, 1080}, kDesktop}, ""};

class StoredCalibrationLoaderTest : public ::testing::Test {
  protected:
    StoredCalibrationLoader& loader(const std::string& screenOverride) {
        loader_ = std::make_unique<StoredCalibrationLoader>(
            tables, prefs,
            StoredCalibrationLoader::ScreenFollowing{
                screens, sink, screenOverride,
                [this](std::string_view line) { said.emplace_back(line); }},
            42, bGet, nullptr);
        return *loader_;
    }

    FakeScreens screens;
    PlacementSink sink;
    MemorySettingsStore prefs;
    CalibrationTables tables;
    std::atomic<bool> bGet{true};
    std::vector<std::string> said;
    std::unique_ptr<StoredCalibrationLoader> loader_;

    void SetUp() override {
        screens.screens = {{"eDP-1", kLaptop}, {"HDMI-1", kProjector}};
        screens.primaryName = "eDP-1";
        prefs.setInteger("DotCount", 2);
    }
};

TEST_F(StoredCalibrationLoaderTest, ALoadSizesTheTablesAndPlacesThePointerOnTheChosenScreen) {
    struct Case {
        const char* what;
        std::string stored;
        std::string screenOverride;
        const BoardScreen& expected;
    };
    const Case cases[] = {
        {"nothing chosen: the primary", "", "", kLaptop},
        {"saved by the calibration tool", "HDMI-1", "", kProjector},
        {"the command line wins", "HDMI-1", "eDP-1", kLaptop},
        {"not connected: the primary", "DP-2", "", kLaptop},
    };
    for (const Case& c : cases) {
        prefs.remove("Screen");
        if (!c.stored.empty()) {
            prefs.setString("Screen", c.stored);
        }
        sink.placed.clear();
        loader(c.screenOverride).load();
        EXPECT_EQ(tables.MyScreenWidth, static_cast<float>(c.expected.placement.pixels.width))
            << c.what;
        EXPECT_EQ(tables.MyScreenHeight, static_cast<float>(c.expected.placement.pixels.height))
            << c.what;
        EXPECT_EQ(sink.placed, std::vector<ScreenPlacement>{c.expected.placement}) << c.what;
    }
}

TEST_F(StoredCalibrationLoaderTest, TheStoredChoiceIsReadAfterASynchronize) {
    loader("").load();
    const auto& accesses = prefs.accesses();
    ASSERT_GE(accesses.size(), 2u);
    EXPECT_EQ(accesses[0].kind, MemorySettingsStore::Access::Kind::Synchronize);
    EXPECT_EQ(accesses[1], (MemorySettingsStore::Access{
                               MemorySettingsStore::Access::Kind::ReadString, "Screen"}));
}

TEST_F(StoredCalibrationLoaderTest, AChangeIsSaidOnceAndAMissingScreenOnceUntilItReturns) {
    prefs.setString("Screen", "HDMI-1");
    StoredCalibrationLoader& l = loader("");
    ::testing::internal::CaptureStderr();
    l.load();
    l.load();
    screens.screens.erase("HDMI-1");  // the projector is unplugged
    l.load();
    l.load();
    screens.screens["HDMI-1"] = kProjector;  // and comes back
    l.load();
    screens.screens.erase("HDMI-1");  // and goes again
    l.load();
    const std::string err = ::testing::internal::GetCapturedStderr();
    const std::string missing =
        "screen \"HDMI-1\" is not connected; the board covers the primary screen eDP-1 until it "
        "returns";
    EXPECT_EQ(said, (std::vector<std::string>{
                        "board screen: HDMI-1 1920x1080+1366+0 on a desktop of 3286x1080+0+0",
                        missing,
                        "board screen: eDP-1 1366x768+0+0 on a desktop of 3286x1080+0+0",
                        "board screen: HDMI-1 1920x1080+1366+0 on a desktop of 3286x1080+0+0",
                        missing,
                        "board screen: eDP-1 1366x768+0+0 on a desktop of 3286x1080+0+0",
                    }));
    EXPECT_EQ(err, "zorvan: " + missing + "\nzorvan: " + missing + "\n");
}

}  // namespace
}  // namespace zorvan

namespace zorvan {
namespace {

// A 3 x 3 grid that passes the spacing check, or a 2 x 2 one, starting at raw x `left`.
void storeGrid(MemorySettingsStore& store, int form, float left) {
    store.setInteger("DotCount", form);
    for (int dot = 0; dot < form * form; ++dot) {
        store.setFloat(dotKey(dot, 'x'), left + 1000.0f * static_cast<float>(dot / form));
        store.setFloat(dotKey(dot, 'y'), 400.0f + 1000.0f * static_cast<float>(dot % form));
    }
}

TEST(MachineWideCalibration, TheWholeCalibrationComesFromOneFileAndScreenFallsBackOnItsOwn) {
    struct Case {
        const char* what;
        int ownForm;   // 0: none
        float ownKey;  // TKey12.x; 0: not stored
        const char* ownScreen;
        int machineForm;
        float machineKey;
        const char* machineScreen;
        // Expected: the grid in use, its soft key, its screen, whose file.
        int columns;
        float left;
        float key;
        const char* screen;
        CalibrationOrigin origin;
        const char* told;
    };
    const char* const machine =
        "calibration from /etc/xdg/Zorvan/Zorvan.conf (machine-wide: "
        "this account has none of its own)";
    const Case cases[] = {
        {"no calibration of its own: all of the machine-wide one", 0, 0, "", 3, 4000, "HDMI-1", 3,
         600, 4000, "HDMI-1", CalibrationOrigin::MachineWide, machine},
        {"its own wins as a whole: no machine-wide soft key mixed in", 2, 0, "", 3, 4000, "HDMI-1",
         2, 500, 0, "HDMI-1", CalibrationOrigin::Own, "calibration from /home/t/Zorvan.conf"},
        {"its own Screen wins", 2, 3900, "eDP-1", 3, 4000, "HDMI-1", 2, 500, 3900, "eDP-1",
         CalibrationOrigin::Own, "calibration from /home/t/Zorvan.conf"},
        {"a machine-wide Screen without a machine-wide calibration", 2, 0, "", 0, 0, "HDMI-1", 2,
         500, 0, "HDMI-1", CalibrationOrigin::Own, "calibration from /home/t/Zorvan.conf"},
        {"none anywhere: the built-in grid", 0, 0, "", 0, 4000, "", 2, 876.75f, 0, "eDP-1",
         CalibrationOrigin::None,
         "using the built-in calibration: no calibration is saved (DotCount is 0 or missing)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemorySettingsStore own;
        MemorySettingsStore machineWide;
        if (c.ownForm != 0) {
            storeGrid(own, c.ownForm, 500);
        }
        if (c.ownKey != 0) {
            own.setFloat("TKey12.x", c.ownKey);
        }
        own.setString("Screen", c.ownScreen);
        if (c.machineForm != 0) {
            storeGrid(machineWide, c.machineForm, 600);
        }
        machineWide.setFloat("TKey12.x", c.machineKey);
        machineWide.setString("Screen", c.machineScreen);

        FakeScreens screens;
        screens.screens = {{"eDP-1", kLaptop}, {"HDMI-1", kProjector}};
        screens.primaryName = "eDP-1";
        PlacementSink sink;
        CalibrationTables tables;
        std::atomic<bool> bGet{true};
        std::vector<std::string> told;
        const auto log = [&told](std::string_view line) { told.emplace_back(line); };
        StoredCalibrationLoader loader(
            tables, own, StoredCalibrationLoader::ScreenFollowing{screens, sink, "", {}}, 42, bGet,
            nullptr, log);
        BoardStatus status;
        loader.publishStatusTo(&status);
        loader.fallBackTo(machineWide, "/etc/xdg/Zorvan/Zorvan.conf", "/home/t/Zorvan.conf");
        loader.load();

        EXPECT_EQ(tables.W_Dot, c.columns);
        EXPECT_EQ(tables.Comm_X[0], c.left);
        EXPECT_EQ(tables.ptTBtn[12].x, c.key);
        ASSERT_FALSE(sink.placed.empty());
        EXPECT_EQ(sink.placed.back(), screens.screens.at(c.screen).placement);
        EXPECT_EQ(status.origin.load(), c.origin);
        EXPECT_EQ(told, std::vector<std::string>{c.told});
        // The driver's own writes ("ZorvanPid") go to the account's file alone.
        EXPECT_EQ(own.integerForKey("ZorvanPid"), 42);
        for (const MemorySettingsStore::Access& access : machineWide.accesses()) {
            using Kind = MemorySettingsStore::Access::Kind;
            EXPECT_TRUE(access.kind != Kind::WriteInteger && access.kind != Kind::WriteFloat &&
                        access.kind != Kind::WriteString && access.kind != Kind::Remove)
                << access.key;
        }
    }
}

}  // namespace
}  // namespace zorvan
