#include "platform/posix_process_control.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

namespace zorvan {

namespace {

bool validPid(std::int64_t pid) {
    return pid > 0 && pid <= std::numeric_limits<pid_t>::max();
}

std::string baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string readLink(const std::string& path) {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size() - 1);
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}

// The process's state letter in /proc/PID/stat follows the command name in
// parentheses, which may itself hold ')'. Z: zombie, X: dead. A process that
// cannot be looked at does not count as ended.
bool hasEnded(const std::string& procDir) {
    std::ifstream statFile(procDir + "/stat");
    std::string stat;
    std::getline(statFile, stat);
    const auto close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) {
        return false;
    }
    const char state = stat[close + 2];
    return state == 'Z' || state == 'X';
}

// Runs in the forked children only: async-signal-safe calls, no allocation.
[[noreturn]] void execDetached(const char* path, char* const argv[], int errorPipe) {
    if (::setsid() < 0) {
        ::_exit(127);
    }
    const pid_t grandchild = ::fork();
    if (grandchild != 0) {
        // The middle child: report a failed fork, then leave at once.
        if (grandchild < 0) {
            const int error = errno;
            [[maybe_unused]] ssize_t w = ::write(errorPipe, &error, sizeof error);
        }
        ::_exit(0);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int s = 1; s < NSIG; ++s) {
        if (s != SIGKILL && s != SIGSTOP) {
            ::sigaction(s, &dfl, nullptr);
        }
    }
    // The tool gets no descriptor of the driver's (the board, sockets) but the
    // standard three; the error pipe closes itself on exec.
    if (errorPipe > 3) {
        ::syscall(SYS_close_range, 3u, static_cast<unsigned>(errorPipe - 1), 0u);
    }
    ::syscall(SYS_close_range, static_cast<unsigned>(errorPipe + 1), ~0u, 0u);
    ::execv(path, argv);
    const int error = errno;
    [[maybe_unused]] ssize_t w = ::write(errorPipe, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

PosixProcessControl::PosixProcessControl(std::string toolName) : toolName_(std::move(toolName)) {}

bool PosixProcessControl::isCalibrationTool(std::int64_t pid) {
    if (!validPid(pid)) {
        return false;
    }
    const std::string proc = "/proc/" + std::to_string(pid);
    // A tool that has ended but is not yet reaped keeps its name, and kill()
    // to it succeeds, yet nobody would ever answer the signal.
    if (hasEnded(proc)) {
        return false;
    }
    std::string exe = baseName(readLink(proc + "/exe"));
    // A tool replaced on disk while running still is the tool.
    if (const auto deleted = exe.rfind(" (deleted)");
        deleted != std::string::npos && deleted + 10 == exe.size()) {
        exe.resize(deleted);
    }
    if (exe == toolName_) {
        return true;
    }
    std::ifstream commFile(proc + "/comm");
    std::string comm;
    std::getline(commFile, comm);
    // The kernel keeps at most 15 characters of the command name.
    return !comm.empty() && comm == toolName_.substr(0, 15);
}

bool PosixProcessControl::sendHangup(std::int64_t pid) {
    return validPid(pid) && ::kill(static_cast<pid_t>(pid), SIGHUP) == 0;
}

void PosixProcessControl::launchDetached(const std::string& path) {
    // Everything the children need is prepared before fork: after it only
    // async-signal-safe calls are allowed in a threaded process.
    const std::string name = baseName(path);
    std::vector<char> pathBuffer(path.begin(), path.end());
    pathBuffer.push_back('\0');
    std::vector<char> nameBuffer(name.begin(), name.end());
    nameBuffer.push_back('\0');
    char* const argv[] = {nameBuffer.data(), nullptr};

    int error = 0;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = errno;
    } else {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            execDetached(pathBuffer.data(), argv, fds[1]);
        }
        ::close(fds[1]);
        if (child < 0) {
            error = errno;
        } else {
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            // EOF means the exec succeeded (the pipe closed on exec); the
            // grandchild's write end is the last one open.
            int reported = 0;
            ssize_t n;
            while ((n = ::read(fds[0], &reported, sizeof reported)) < 0 && errno == EINTR) {
            }
            if (n == static_cast<ssize_t>(sizeof reported)) {
                error = reported;
            } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                error = ECHILD;
            }
        }
        ::close(fds[0]);
    }

    std::lock_guard lock(mutex_);
    lastLaunchError_ = error;
    if (error != 0 && error != reportedError_) {
        std::fprintf(stderr, "zorvan: cannot start the calibration tool %s: %s\n", path.c_str(),
                     std::strerror(error));
    }
    reportedError_ = error;
}

int PosixProcessControl::lastLaunchError() const {
    std::lock_guard lock(mutex_);
    return lastLaunchError_;
}

std::string ownExecutablePath() {
    return readLink("/proc/self/exe");
}

}  // namespace zorvan
