#include "driver/calivo_launcher.h"

#include <chrono>
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
    std::int64_t launchDetached(const std::string& path,
                                const std::vector<std::string>& arguments) override {
        std::string call = "launch " + path;
        for (const std::string& argument : arguments) {
            call += " " + argument;
        }
        calls.push_back(call);
        return 4321;
    }
};

struct Launch {
    MemorySettingsStore store;
    FakeProcesses processes;
    CalivoLauncher::Clock::time_point now{};
    CalivoLauncher launcher{store, processes, "/opt/zorvan/lib/zorvan", {}, [this] { return now; }};
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

TEST(CalivoLauncher, RequestsWhileTheToolStartsLaunchNothingMore) {
    using namespace std::chrono_literals;
    struct Request {
        std::chrono::milliseconds at;
        std::int64_t calivoPid;  // what the store says by then
        const char* expected;    // the call it makes, or nullptr for none
    };
    // A board sending calibration commands at line rate, a tool that takes
    // its time, one that never publishes, and a tool that has published.
    const Request requests[] = {
        {0ms, 0, "launch /opt/zorvan/lib/Calivo.app"},
        {4ms, 0, nullptr},
        {1000ms, 0, nullptr},
        {4999ms, 0, nullptr},
        {5000ms, 0, "launch /opt/zorvan/lib/Calivo.app"},
        {6000ms, 4000, "hangup 4000"},
        {6004ms, 4000, "hangup 4000"},
    };
    Launch l;
    l.processes.tools = l.processes.reachable = {4000};
    const auto start = l.now;
    for (const Request& r : requests) {
        l.now = start + r.at;
        l.store.setInteger("CalivoPid", r.calivoPid);
        const std::size_t before = l.processes.calls.size();
        l.launcher.startCalivo();
        const auto& calls = l.processes.calls;
        if (r.expected == nullptr) {
            EXPECT_EQ(calls.size(), before) << "at " << r.at.count() << " ms";
        } else {
            ASSERT_GT(calls.size(), before) << "at " << r.at.count() << " ms";
            EXPECT_EQ(calls.back(), r.expected) << "at " << r.at.count() << " ms";
        }
    }
    EXPECT_EQ(l.store.synchronizeCount(), 7);
}

TEST(CalivoLauncher, TheLaunchedToolIsToldTheBoardTheDriverAndAScreenNamedForThisRun) {
    struct Case {
        std::string screen;
        std::string expected;
    };
    const Case cases[] = {
        {"", "launch /opt/zorvan/lib/Calivo.app --device /dev/ttyUSB1 --driver-pid 2345"},
        {"DUMMY1",
         "launch /opt/zorvan/lib/Calivo.app --device /dev/ttyUSB1 --driver-pid 2345 --screen "
         "DUMMY1"},
    };
    for (const Case& c : cases) {
        MemorySettingsStore store;
        FakeProcesses processes;
        CalivoLauncher launcher(store, processes, "/opt/zorvan/lib/zorvan",
                                CalivoLauncher::launchArguments("/dev/ttyUSB1", 2345, c.screen));
        launcher.startCalivo();
        EXPECT_EQ(processes.calls, std::vector<std::string>{c.expected});
    }
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
