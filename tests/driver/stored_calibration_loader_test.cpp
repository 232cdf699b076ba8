#include "driver/stored_calibration_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calibration/memory_settings_store.h"
#include "calibration/read_system_param.h"

namespace zorvan {
namespace {

class FixedDisplay : public MainDisplay {
  public:
    DisplaySize pixelSize() const override { return {1000, 800}; }
};

TEST(StoredCalibrationLoader, SaysOncePerReasonWhyTheBuiltInGridIsInUse) {
    struct Load {
        const char* readProblem;
        int dotCount;  // 2: a good grid is saved
        const char* writeProblem;
        std::vector<std::string> told;
    };
    const std::string builtIn = "log: using the built-in calibration: ";
    const std::string unreachable = " (the calibration tool cannot reach the driver)";
    const Load loads[] = {
        {"F does not exist", 0, "", {builtIn + "F does not exist"}},
        {"F does not exist", 0, "", {}},
        {"", 0, "", {builtIn + "no calibration is saved (DotCount is 0 or missing)"}},
        {"", 2, "", {}},
        {"F is not a regular file",
         0,
         "cannot publish ZorvanPid: F is not a regular file",
         {builtIn + "F is not a regular file",
          "warn: cannot publish ZorvanPid: F is not a regular file" + unreachable}},
        {"F is not a regular file", 0, "cannot publish ZorvanPid: F is not a regular file", {}},
        {"", 2, "", {}},
        {"F does not parse as a settings file",
         0,
         "",
         {builtIn + "F does not parse as a settings file"}},
        {"",
         2,
         "cannot publish ZorvanPid in F: Permission denied",
         {"warn: cannot publish ZorvanPid in F: Permission denied" + unreachable}},
        {"", 2, "cannot publish ZorvanPid in F: Permission denied", {}},
    };

    CalibrationTables tables;
    MemorySettingsStore store;
    FixedDisplay display;
    std::atomic<bool> bGet{true};
    std::vector<std::string> told;
    StoredCalibrationLoader loader(
        tables, store, display, 4242, bGet, [] {},
        [&told](std::string_view line) { told.push_back("log: " + std::string(line)); },
        [&told](std::string_view line) { told.push_back("warn: " + std::string(line)); });
    const float raw[4][2] = {{500, 400}, {500, 3600}, {3500, 400}, {3500, 3600}};
    for (int dot = 0; dot < 4; ++dot) {
        store.setFloat(dotKey(dot, 'x'), raw[dot][0]);
        store.setFloat(dotKey(dot, 'y'), raw[dot][1]);
    }
    int n = 0;
    for (const Load& load : loads) {
        SCOPED_TRACE("load " + std::to_string(++n));
        store.setInteger("DotCount", load.dotCount);
        store.setProblems(load.readProblem, load.writeProblem);
        told.clear();
        EXPECT_EQ(loader.load(), load.dotCount != 0);
        EXPECT_EQ(told, load.told);
    }
}

}  // namespace
}  // namespace zorvan
