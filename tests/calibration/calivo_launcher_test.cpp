#include "driver/calivo_launcher.h"

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calibration/memory_settings_store.h"

namespace zorvan {
namespace {

class FakeProcesses : public ProcessControl {
  public:
    std::set<std::int64_t> tools;      // pids that are the calibration tool
    std::set<std::int64_t> reachable;  // pids a kill would reach
    std::vector<std::string> calls;

    bool isCalibrationTool(std::int64_t pid) override {
        calls.push_back("check " + std::to_string(pid));
        return tools.count(pid) != 0;
    }
    bool sendHangup(std::int64_t pid) override {
        calls.push_back("hangup " + std::to_string(pid));
        return reachable.count(pid) != 0;
    }
    void launchDetached(const std::string& path) override { calls.push_back("launch " + path); }
};

struct Launch {
    MemorySettingsStore store;
    FakeProcesses processes;
    CalivoLauncher launcher{store, processes, "/opt/zorvan/lib/zorvan"};
};

TEST(CalivoLauncher, NoPidLaunchesAtOnceWithoutSignalling) {
    Launch l;
    EXPECT_EQ(l.launcher.callPath(), "");
    l.launcher.startCalivo();
    EXPECT_EQ(l.processes.calls, std::vector<std::string>{"launch /opt/zorvan/lib/Calivo.app"});
    EXPECT_EQ(l.launcher.callPath(), "/opt/zorvan/lib/Calivo.app");
    // The pid is read only after the store has picked up the tool's writes.
    using K = MemorySettingsStore::Access::Kind;
    const std::vector<MemorySettingsStore::Access> expected{{K::Synchronize, ""},
                                                            {K::ReadInteger, "CalivoPid"}};
    EXPECT_EQ(l.store.accesses(), expected);
}

TEST(CalivoLauncher, RunningToolGetsHangupAndNothingIsLaunched) {
    Launch l;
    l.store.setInteger("CalivoPid", 3210);
    l.processes.tools = {3210};
    l.processes.reachable = {3210};
    l.launcher.startCalivo();
    EXPECT_EQ(l.processes.calls, (std::vector<std::string>{"check 3210", "hangup 3210"}));
    EXPECT_EQ(l.launcher.callPath(), "");
}

TEST(CalivoLauncher, GoneOrForeignProcessLeadsToALaunch) {
    Launch gone;
    gone.store.setInteger("CalivoPid", 3210);
    gone.processes.tools = {3210};  // was the tool, but the kill fails now
    gone.launcher.startCalivo();
    EXPECT_EQ(gone.processes.calls,
              (std::vector<std::string>{"check 3210", "hangup 3210",
                                        "launch /opt/zorvan/lib/Calivo.app"}));

    Launch foreign;
    foreign.store.setInteger("CalivoPid", 777);  // reused by another program
    foreign.processes.reachable = {777};
    foreign.launcher.startCalivo();
    EXPECT_EQ(foreign.processes.calls,
              (std::vector<std::string>{"check 777", "launch /opt/zorvan/lib/Calivo.app"}));
}

TEST(CalivoLauncher, PidsThatWouldSignalGroupsOrInitAreNeverSignalled) {
    for (const std::int64_t pid :
         {std::int64_t{1}, std::int64_t{0}, std::int64_t{-1}, std::int64_t{-3210},
          std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1,
          (std::int64_t{1} << 32) | 3210, std::numeric_limits<std::int64_t>::min()}) {
        Launch l;
        l.store.setInteger("CalivoPid", pid);
        l.processes.tools = {pid, 3210};
        l.processes.reachable = {pid, 3210};
        l.launcher.startCalivo();
        EXPECT_EQ(l.processes.calls, std::vector<std::string>{"launch /opt/zorvan/lib/Calivo.app"})
            << pid;
    }
}

TEST(CalivoLauncher, EveryRequestLaunchesUntilTheToolPublishesItsPid) {
    Launch l;
    l.launcher.startCalivo();
    l.launcher.startCalivo();
    EXPECT_EQ(l.processes.calls.size(), 2u);
    EXPECT_EQ(l.store.synchronizeCount(), 2);

    l.store.setInteger("CalivoPid", 4000);
    l.processes.tools = l.processes.reachable = {4000};
    l.launcher.startCalivo();
    EXPECT_EQ(l.processes.calls.back(), "hangup 4000");
}

TEST(CalivoLauncher, ToolPathReplacesTheLastComponentAndKeepsTheSeparator) {
    EXPECT_EQ(CalivoLauncher::toolPathNextTo("/Users/Shared/Drivers/Driver.app"),
              "/Users/Shared/Drivers/Calivo.app");
    EXPECT_EQ(CalivoLauncher::toolPathNextTo("/Applications/Driver.app"),
              "/Applications/Calivo.app");
    EXPECT_EQ(CalivoLauncher::toolPathNextTo("/zorvan"), "/Calivo.app");
    EXPECT_EQ(CalivoLauncher::toolPathNextTo("/opt/zorvan/"), "/opt/zorvan/Calivo.app");
    EXPECT_EQ(CalivoLauncher::toolPathNextTo("zorvan"), "Calivo.app");
    EXPECT_EQ(CalivoLauncher::toolPathNextTo(""), "Calivo.app");
}

}  // namespace
}  // namespace zorvan
