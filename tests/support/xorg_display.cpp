#include "tests/support/xorg_display.h"

#include "tests/support/display_server.h"

#include <fcntl.h>
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

    DisplayServer server = startDisplayServer(
        {kXorg, "-config", dir_ + "/xorg.conf", "-configdir", dir_ + "/conf.d", "-logfile",
         dir_ + "/xorg.log", "-noreset", "-nolisten", "tcp", "-novtswitch", "-sharevts"},
        std::chrono::seconds(20));
    pid_ = server.pid;
    why_ = server.why;
    if (pid_ <= 0) {
        return;
    }
    if (server.number.empty()) {
        why_ = "Xorg did not start; its log is " + dir_ + "/xorg.log";
        stop();
        return;
    }
    name_ = ":" + server.number;
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
    stopDisplayServer(pid_);
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
