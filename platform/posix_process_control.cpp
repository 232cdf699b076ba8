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

// What the children tell the launcher through the pipe: the tool's pid, or
// why it could not be started. Small enough to be written in one piece.
struct LaunchNote {
    enum Kind : int { Started, Failed };
    int kind;
    int value;  // the pid, or errno
};

void tell(int pipe, LaunchNote::Kind kind, int value) {
    const LaunchNote note{kind, value};
    [[maybe_unused]] ssize_t w = ::write(pipe, &note, sizeof note);
}

// Runs in the forked children only: async-signal-safe calls, no allocation.
[[noreturn]] void execDetached(const char* path, char* const argv[], int errorPipe) {
    if (::setsid() < 0) {
        ::_exit(127);
    }
    const pid_t grandchild = ::fork();
    if (grandchild != 0) {
        // The middle child: tell the tool's pid or a failed fork, then leave
        // at once.
        if (grandchild < 0) {
            tell(errorPipe, LaunchNote::Failed, errno);
        } else {
            tell(errorPipe, LaunchNote::Started, grandchild);
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
    tell(errorPipe, LaunchNote::Failed, errno);
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
    const bool delivered = validPid(pid) && ::kill(static_cast<pid_t>(pid), SIGHUP) == 0;
    if (delivered && report_) {
        report_("the calibration tool (pid " + std::to_string(pid) + ") was asked to calibrate");
    }
    return delivered;
}

std::int64_t PosixProcessControl::launchDetached(const std::string& path,
                                                 const std::vector<std::string>& arguments) {
    // Everything the children need is prepared before fork: after it only
    // async-signal-safe calls are allowed in a threaded process.
    std::vector<std::string> words{baseName(path)};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::vector<char> pathBuffer(path.begin(), path.end());
    pathBuffer.push_back('\0');

    int error = 0;
    pid_t started = 0;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = errno;
    } else {
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            execDetached(pathBuffer.data(), argv.data(), fds[1]);
        }
        ::close(fds[1]);
        if (child < 0) {
            error = errno;
        } else {
            int status = 0;
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            // Notes until EOF, which comes once the exec succeeded (the pipe
            // closes on exec) or the tool failed: the grandchild's write end
            // is the last one open.
            bool told = false;
            for (;;) {
                LaunchNote note{};
                ssize_t n;
                while ((n = ::read(fds[0], &note, sizeof note)) < 0 && errno == EINTR) {
                }
                if (n != static_cast<ssize_t>(sizeof note)) {
                    break;
                }
                told = true;
                if (note.kind == LaunchNote::Started) {
                    started = note.value;
                } else {
                    error = note.value;
                }
            }
            if (!told || (!WIFEXITED(status) || WEXITSTATUS(status) != 0)) {
                error = error != 0 ? error : ECHILD;
            }
        }
        ::close(fds[0]);
    }
    const std::int64_t pid = error == 0 ? started : 0;
    if (pid != 0) {
        lastLaunched_.store(pid);
    }

    std::string line;
    {
        std::lock_guard lock(mutex_);
        // strerror's buffer is shared: it is read under the lock.
        line = error == 0
                   ? "calibration tool started: " + path
                   : "cannot start the calibration tool " + path + ": " + std::strerror(error);
        lastLaunchError_ = error;
        if (error != 0 && error != reportedError_) {
            std::fprintf(stderr, "zorvan: cannot start the calibration tool %s: %s\n", path.c_str(),
                         std::strerror(error));
        }
        reportedError_ = error;
    }
    if (report_) {
        report_(line);
    }
    return pid;
}

int PosixProcessControl::lastLaunchError() const {
    std::lock_guard lock(mutex_);
    return lastLaunchError_;
}

std::string ownExecutablePath() {
    return readLink("/proc/self/exe");
}

}  // namespace zorvan
