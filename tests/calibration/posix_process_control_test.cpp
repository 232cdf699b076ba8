#include "platform/posix_process_control.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace zorvan {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A stand-in calibration tool: a script named Calivo.app that reports its
// pid, session and open descriptors, answers SIGHUP by writing "hup", and
// ends by itself after a few seconds so that nothing outlives the test.
class ToolFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zorvan-calivo-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        tool_ = dir_ / "Calivo.app";
        std::ofstream script(tool_);
        script << "#!/bin/sh\n"
               << "d=" << dir_.string() << "\n"
               << "trap 'echo hup > $d/hup.tmp; mv $d/hup.tmp $d/hup; exit 0' HUP\n"
               << "ls /proc/$$/fd > $d/fds.tmp\n"
               << "echo $$ $(cut -d' ' -f6 /proc/$$/stat) \"$@\" > $d/info.tmp\n"
               << "mv $d/fds.tmp $d/fds; mv $d/info.tmp $d/info\n"
               << "i=0; while [ $i -lt 100 ]; do sleep 0.05; i=$((i+1)); done\n";
        script.close();
        fs::permissions(tool_, fs::perms::owner_all);
    }
    void TearDown() override {
        if (toolPid_ > 0) {
            ::kill(toolPid_, SIGKILL);
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    bool waitFor(const fs::path& file) {
        for (int i = 0; i < 400 && !fs::exists(file); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return fs::exists(file);
    }
    std::string slurp(const fs::path& file) {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path dir_;
    fs::path tool_;
    pid_t toolPid_ = 0;
};

TEST_F(ToolFolder, LaunchIsDetachedInItsOwnSessionWithoutOurDescriptorsOrAZombie) {
    const int leaky = ::open("/dev/null", O_RDONLY);  // no O_CLOEXEC on purpose
    ASSERT_GE(leaky, 0);

    PosixProcessControl processes;
    const std::int64_t launched =
        processes.launchDetached(tool_.string(), {"--device", "/dev/a b", "--driver-pid", "7"});
    EXPECT_EQ(processes.lastLaunchError(), 0);
    ASSERT_TRUE(waitFor(dir_ / "info"));

    std::istringstream info(slurp(dir_ / "info"));
    pid_t pid = 0, session = 0;
    info >> pid >> session;
    toolPid_ = pid;
    // Its pid is known, so that the driver can tell when it ends.
    EXPECT_EQ(launched, pid);
    EXPECT_EQ(processes.lastLaunchedPid(), pid);
    std::string arguments;
    std::getline(info, arguments);
    EXPECT_EQ(arguments, " --device /dev/a b --driver-pid 7");
    // A session of its own, which it does not lead, so that opening a
    // terminal never makes that terminal its controlling one.
    EXPECT_GT(session, 0);
    EXPECT_NE(session, ::getsid(0));
    EXPECT_NE(session, pid);

    // Nothing is left for us to wait for: the middle child is reaped, and the
    // tool is not our child.
    int status = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    ASSERT_TRUE(waitFor(dir_ / "fds"));
    std::istringstream fds(slurp(dir_ / "fds"));
    for (int fd; fds >> fd;) {
        EXPECT_NE(fd, leaky) << "the driver's descriptor leaked into the tool";
    }
    ::close(leaky);

    // A script started by name reports the tool's name as its command.
    EXPECT_TRUE(processes.isCalibrationTool(pid));
    EXPECT_TRUE(processes.sendHangup(pid));
    EXPECT_TRUE(waitFor(dir_ / "hup"));
}

TEST_F(ToolFolder, FailedLaunchIsRecordedAndNotFatal) {
    PosixProcessControl processes;
    EXPECT_EQ(processes.launchDetached((dir_ / "missing" / "Calivo.app").string(), {}), 0);
    EXPECT_EQ(processes.lastLaunchError(), ENOENT);

    fs::permissions(tool_, fs::perms::owner_read | fs::perms::owner_write);
    if (::geteuid() != 0) {  // root may execute anything marked executable only
        EXPECT_EQ(processes.launchDetached(tool_.string(), {}), 0);
        EXPECT_EQ(processes.lastLaunchError(), EACCES);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
}

TEST_F(ToolFolder, EveryRequestIsReportedForTheLogView) {
    std::vector<std::string> lines;
    PosixProcessControl processes;
    processes.setReport([&lines](const std::string& line) { lines.push_back(line); });
    const fs::path missing = dir_ / "missing" / "Calivo.app";
    processes.launchDetached(missing.string(), {});
    processes.launchDetached(tool_.string(), {});
    ASSERT_TRUE(waitFor(dir_ / "info"));
    std::istringstream info(slurp(dir_ / "info"));
    info >> toolPid_;
    EXPECT_TRUE(processes.sendHangup(toolPid_));
    ASSERT_TRUE(waitFor(dir_ / "hup"));
    // A pid that cannot be the tool is not signalled, and nothing is said.
    EXPECT_FALSE(processes.sendHangup(-1));
    EXPECT_EQ(
        lines,
        (std::vector<std::string>{
            "cannot start the calibration tool " + missing.string() + ": No such file or directory",
            "calibration tool started: " + tool_.string(),
            "the calibration tool (pid " + std::to_string(toolPid_) + ") was asked to calibrate",
        }));
}

TEST(PosixProcessControl, OnlyTheToolCountsAsTheTool) {
    PosixProcessControl processes;
    EXPECT_FALSE(processes.isCalibrationTool(::getpid()));
    EXPECT_FALSE(processes.isCalibrationTool(1));
    for (const std::int64_t bad : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{-2},
                                   std::int64_t{std::numeric_limits<pid_t>::max()} + 1}) {
        EXPECT_FALSE(processes.isCalibrationTool(bad)) << bad;
        EXPECT_FALSE(processes.sendHangup(bad)) << bad;
    }
    // A process named after us is recognised by the name it is given.
    PosixProcessControl ourselves(fs::path(ownExecutablePath()).filename().string());
    EXPECT_TRUE(ourselves.isCalibrationTool(::getpid()));
}

TEST(PosixProcessControl, AZombieNamedAfterTheToolIsNoTool) {
    // A tool that ended but was not reaped still answers kill() with 0 and
    // keeps its name: a request sent there would be swallowed.
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_NAME, "Calivo.app");
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
    std::ifstream comm("/proc/" + std::to_string(child) + "/comm");
    std::string name;
    std::getline(comm, name);
    ASSERT_EQ(name, "Calivo.app");

    PosixProcessControl processes;
    EXPECT_FALSE(processes.isCalibrationTool(child));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
}

TEST(PosixProcessControl, HangupToAGoneProcessFails) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    PosixProcessControl processes;
    EXPECT_FALSE(processes.sendHangup(child));
}

TEST(PosixProcessControl, OwnExecutablePathIsThisTest) {
    EXPECT_EQ(fs::path(ownExecutablePath()).filename(), "process_control_tests");
}

}  // namespace
}  // namespace zorvan
