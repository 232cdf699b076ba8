#include "tests/support/xorg_display.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace zorvan::test {

namespace {

namespace fs = std::filesystem;

constexpr char kXorg[] = "/usr/lib/xorg/Xorg";
constexpr char kDummyDriver[] = "/usr/lib/xorg/modules/drivers/dummy_drv.so";
constexpr char kXrandr[] = "/usr/bin/xrandr";

// No input devices of the machine (the pointer is XTest's), no VT switching.
constexpr char kConfig[] = R"(Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
  Option "AutoAddGPU" "false"
  Option "DontVTSwitch" "true"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 65536
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 4096 2048
  EndSubSection
EndSection
)";

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

}  // namespace

XorgDisplay::XorgDisplay() {
    if (::access(kXorg, X_OK) != 0 || ::access(kDummyDriver, R_OK) != 0 ||
        ::access(kXrandr, X_OK) != 0) {
        why_ =
            "Xorg with the dummy driver and xrandr are not installed "
            "(xserver-xorg-core, xserver-xorg-video-dummy, x11-xserver-utils)";
        return;
    }
    if (::geteuid() != 0) {
        why_ = "Xorg takes a private configuration only from root";
        return;
    }
    char pattern[] = "/tmp/zorvan-xorg-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        why_ = std::string("mkdtemp: ") + std::strerror(errno);
        return;
    }
    dir_ = pattern;
    fs::create_directories(dir_ + "/conf.d");
    std::ofstream(dir_ + "/xorg.conf") << kConfig;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        why_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    // Xorg writes its display number to fd 3 once it accepts clients.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {kXorg,
                                     "-displayfd",
                                     "3",
                                     "-config",
                                     dir_ + "/xorg.conf",
                                     "-configdir",
                                     dir_ + "/conf.d",
                                     "-logfile",
                                     dir_ + "/xorg.log",
                                     "-noreset",
                                     "-nolisten",
                                     "tcp",
                                     "-novtswitch",
                                     "-sharevts"};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, kXorg, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        why_ = std::string("cannot start Xorg: ") + std::strerror(rc);
        return;
    }
    pid_ = pid;
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    // Bounded: a server that never answers is a failed start, not a hang.
    while (::poll(&p, 1, 20000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    ::close(fds[0]);
    if (number.empty()) {
        why_ = "Xorg did not start; its log is " + dir_ + "/xorg.log";
        stop();
        return;
    }
    name_ = ":" + number;
    if (!xrandr({"--output", "DUMMY0", "--mode", "1024x768"})) {
        why_ = "xrandr cannot set up the dummy outputs on " + name_;
        stop();
        name_.clear();
    }
}

XorgDisplay::~XorgDisplay() {
    stop();
    // Kept after a failed start: why() points at the server's log there.
    if (!dir_.empty() && why_.empty()) {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
}

void XorgDisplay::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        waitFor(pid_);
        pid_ = -1;
    }
}

bool XorgDisplay::xrandr(const std::vector<std::string>& args) const {
    std::vector<std::string> all = {kXrandr, "-display", name_};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, kXrandr, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        return false;
    }
    const int status = waitFor(pid);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace zorvan::test
