#include "tools/calivo/driver_link.h"
#include "tools/calivo/driver_restart.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <string>
#include <vector>

#include "calibration/memory_settings_store.h"

namespace zorvan::calivo {
namespace {

constexpr std::int64_t kOwnPid = 500;

class FakeProcesses : public PeerProcesses {
  public:
    std::set<std::int64_t> drivers;
    std::set<std::int64_t> tools;
    std::vector<std::string> signals;

    bool isDriver(std::int64_t pid) override { return drivers.count(pid) != 0; }
    bool isTool(std::int64_t pid) override { return tools.count(pid) != 0; }
    bool signal(std::int64_t pid, int number) override {
        const char* name = number == SIGUSR1   ? "USR1"
                           : number == SIGUSR2 ? "USR2"
                           : number == SIGHUP  ? "HUP"
                                               : "?";
        signals.push_back(std::string(name) + " " + std::to_string(pid));
        return true;
    }
    std::string driverDevice(std::int64_t pid) override {
        return "/dev/board-of-" + std::to_string(pid);
    }
};

struct Link {
    MemorySettingsStore store;
    FakeProcesses processes;
    DriverLink link{store, processes, kOwnPid};
};

TEST(DriverLink, OnlyAPlausiblePidRunningTheDriverIsPausedAndResumed) {
    struct Case {
        std::int64_t zorvanPid;
        bool isDriver;
        std::vector<std::string> signals;
    };
    const Case cases[] = {
        {1234, true, {"USR2 1234", "USR1 1234"}},
        {1234, false, {}},                         // gone, or another program has the pid now
        {0, true, {}},                             // never published
        {1, true, {}},                             // init
        {-1, true, {}},                            // would signal every process
        {-1234, true, {}},                         // would signal a process group
        {std::int64_t{1} << 32 | 1234, true, {}},  // beyond pid_t
    };
    for (const Case& c : cases) {
        Link l;
        l.store.setInteger("ZorvanPid", c.zorvanPid);
        if (c.isDriver) {
            l.processes.drivers.insert(c.zorvanPid);
        }
        EXPECT_EQ(l.link.pauseDriver(), c.signals.empty() ? 0 : c.zorvanPid) << c.zorvanPid;
        EXPECT_EQ(l.link.resumeDriver(), !c.signals.empty()) << c.zorvanPid;
        EXPECT_EQ(l.processes.signals, c.signals) << c.zorvanPid;
    }
}

TEST(DriverLink, TheToolReadsTheBoardOfThePausedOrRunningDriver) {
    Link l;
    EXPECT_EQ(l.link.driverDevice(), "");  // no driver
    l.processes.drivers = {1234, 4321};
    l.store.setInteger("ZorvanPid", 1234);
    EXPECT_EQ(l.link.driverDevice(), "/dev/board-of-1234");
    l.link.pauseDriver();
    l.store.setInteger("ZorvanPid", 4321);
    EXPECT_EQ(l.link.driverDevice(), "/dev/board-of-1234");
}

TEST(DriverLink, DeviceArgumentOfTheDriversCommandLine) {
    struct Case {
        std::vector<std::string> arguments;
        std::string device;
    };
    const Case cases[] = {
        {{"zorvan"}, ""},
        {{"zorvan", "--device", "/dev/pts/3", "--pointer", "log"}, "/dev/pts/3"},
        {{"zorvan", "--device=/dev/ttyUSB0"}, "/dev/ttyUSB0"},
        {{"zorvan", "--device", "/dev/a", "--device", "/dev/b"}, "/dev/b"},
        {{"zorvan", "--device"}, ""},
        {{"/opt/--device", "--log-stdout"}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(deviceArgument(c.arguments), c.device) << c.device;
    }
}

TEST(DriverLink, ThePausedDriverIsResumedEvenAfterAnotherPublishedItsPid) {
    Link l;
    l.processes.drivers = {1234, 4321};
    l.store.setInteger("ZorvanPid", 1234);
    l.link.pauseDriver();
    l.store.setInteger("ZorvanPid", 4321);
    l.link.resumeDriver();
    l.link.resumeDriver();  // nothing paused any more: the driver of now reloads
    EXPECT_EQ(l.processes.signals,
              (std::vector<std::string>{"USR2 1234", "USR1 1234", "USR1 4321"}));
}

TEST(DriverLink, TheDriverThatStartedTheToolIsTheOnePausedWhateverWasPublished) {
    struct Case {
        bool starterRuns;
        std::vector<std::string> signals;
        std::string device;
    };
    // Never the other board's driver, even when the starter has gone.
    const Case cases[] = {{true, {"USR2 1234", "USR1 1234"}, "/dev/board-of-1234"},
                          {false, {}, ""}};
    for (const Case& c : cases) {
        MemorySettingsStore store;
        FakeProcesses processes;
        DriverLink link(store, processes, kOwnPid, 1234);
        store.setInteger("ZorvanPid", 4321);
        processes.drivers = {4321};
        if (c.starterRuns) {
            processes.drivers.insert(1234);
        }
        EXPECT_EQ(link.driverDevice(), c.device);
        link.pauseDriver();
        link.resumeDriver();
        EXPECT_EQ(processes.signals, c.signals) << c.starterRuns;
    }
}

TEST(DriverLink, PidIsPublishedSynchronizedAndWithdrawnOnlyIfStillOurs) {
    Link l;
    l.link.publish();
    EXPECT_EQ(l.store.accesses().back().kind, MemorySettingsStore::Access::Kind::Synchronize);
    EXPECT_EQ(l.store.integerForKey("CalivoPid"), kOwnPid);
    l.link.withdraw();
    EXPECT_EQ(l.store.integerForKey("CalivoPid"), 0);

    l.store.setInteger("CalivoPid", 777);  // a second tool took over
    l.link.withdraw();
    EXPECT_EQ(l.store.integerForKey("CalivoPid"), 777);
}

TEST(DriverLink, ARunningToolIsAskedToStartOverInsteadOfASecondOne) {
    struct Case {
        std::int64_t calivoPid;
        bool isTool;
        std::int64_t restarted;
    };
    const Case cases[] = {
        {900, true, 900}, {900, false, 0}, {kOwnPid, true, 0}, {0, true, 0}, {-1, true, 0}};
    for (const Case& c : cases) {
        Link l;
        l.store.setInteger("CalivoPid", c.calivoPid);
        if (c.isTool) {
            l.processes.tools.insert(c.calivoPid);
        }
        EXPECT_EQ(l.link.restartOtherTool(), c.restarted) << c.calivoPid;
        EXPECT_EQ(l.processes.signals.size(), c.restarted ? 1u : 0u) << c.calivoPid;
    }
}

}  // namespace
}  // namespace zorvan::calivo

namespace zorvan::calivo {
namespace {

class FakeStarter : public DriverStarter {
  public:
    std::vector<std::string> launchLine;
    bool running = true;
    bool canStart = true;
    std::vector<std::vector<std::string>> started;

    std::vector<std::string> commandLine(std::int64_t pid) override {
        return pid == 42 ? launchLine : std::vector<std::string>{};
    }
    bool runsDriver(std::int64_t) override { return running; }
    bool startDetached(const std::vector<std::string>& arguments, std::string& error) override {
        if (!canStart) {
            error = "Permission denied";
            return false;
        }
        started.push_back(arguments);
        return true;
    }
};

TEST(DriverRestart, ADriverThatQuitIsStartedAgainWithItsArgumentsFromTheToolsFolder) {
    struct Case {
        const char* name;
        std::int64_t remembered;  // 0: no driver at launch
        std::vector<std::string> launchLine;
        bool stillRunning;
        bool canStart;
        std::string said;
        std::vector<std::string> started;  // empty: nothing started
    };
    const Case cases[] = {
        {"quit after its alert",
         42,
         {"./zorvan", "--device", "/dev/ttyUSB1"},
         false,
         true,
         "started the driver again: /opt/z/zorvan --device /dev/ttyUSB1",
         {"/opt/z/zorvan", "--device", "/dev/ttyUSB1"}},
        {"still running", 42, {"zorvan"}, true, true, "", {}},
        {"no driver at launch", 0, {"zorvan"}, false, true, "", {}},
        {"its command line unreadable", 7, {}, false, true, "", {}},
        {"cannot be started",
         42,
         {"zorvan"},
         false,
         false,
         "cannot start the driver again (/opt/z/zorvan): Permission denied",
         {}},
    };
    for (const Case& c : cases) {
        FakeStarter starter;
        starter.launchLine = c.launchLine;
        DriverRestart restart(starter, "/opt/z");
        restart.remember(c.remembered);
        starter.running = c.stillRunning;
        starter.canStart = c.canStart;
        EXPECT_EQ(restart.restartIfGone(), c.said) << c.name;
        if (c.started.empty()) {
            EXPECT_TRUE(starter.started.empty()) << c.name;
        } else {
            ASSERT_EQ(starter.started.size(), 1u) << c.name;
            EXPECT_EQ(starter.started[0], c.started) << c.name;
        }
        // Once only.
        EXPECT_EQ(restart.restartIfGone(), "") << c.name;
    }
}

}  // namespace
}  // namespace zorvan::calivo
