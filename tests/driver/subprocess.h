#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace zorvan::test {

// A program of the build started with pipes on stdin, stdout and stderr, or
// with all three closed.
class Subprocess {
  public:
    enum class Standard { Pipes, Closed };

    explicit Subprocess(std::vector<std::string> arguments, Standard standard = Standard::Pipes) {
        int in[2], out[2], err[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (standard == Standard::Pipes) {
            posix_spawn_file_actions_adddup2(&actions, in[0], 0);
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
            posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        } else {
            for (int fd : {0, 1, 2}) {
                posix_spawn_file_actions_addclose(&actions, fd);
            }
        }
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
            posix_spawn_file_actions_addclose(&actions, fd);
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        stderr_ = err[0];
    }
    ~Subprocess() {
        if (pid_ > 0 && !exitStatus_) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        for (int fd : {stdin_, stdout_, stderr_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    Subprocess(const Subprocess&) = delete;
    Subprocess& operator=(const Subprocess&) = delete;

    // A program of the build: beside this test, which lives in <build>/bin too.
    static std::string binary(const std::string& name) {
        if (const char* dir = std::getenv("ZORVAN_BIN_DIR")) {
            return std::string(dir) + "/" + name;
        }
        std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        return self.substr(0, self.rfind('/') + 1) + name;
    }

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // True while the program has not ended (it is not reaped here).
    bool running() const {
        if (pid_ <= 0 || exitStatus_) {
            return false;
        }
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    }
    void writeStdin(const std::string& text) const {
        [[maybe_unused]] const ssize_t n = ::write(stdin_, text.data(), text.size());
    }
    void closeStdin() {
        ::close(stdin_);
        stdin_ = -1;
    }
    // Only ever to the child itself: never to a group or to everyone.
    void signal(int number) const {
        if (pid_ > 0 && !exitStatus_) {
            ::kill(pid_, number);
        }
    }

    // The next line of stdout (or stderr), without its newline.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout,
                                        bool fromStderr = false) {
        std::string& buffer = fromStderr ? errBuffer_ : outBuffer_;
        const int fd = fromStderr ? stderr_ : stdout_;
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto newline = buffer.find('\n');
            if (newline != std::string::npos) {
                std::string line = buffer.substr(0, newline);
                buffer.erase(0, newline + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd entry{fd, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
                return std::nullopt;
            }
            char chunk[512];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0) {
                return std::nullopt;
            }
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
    }

    // The first line of stdout (or stderr) that starts with prefix.
    std::optional<std::string> waitForLine(const std::string& prefix,
                                           std::chrono::milliseconds timeout,
                                           bool fromStderr = false) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            auto line = readLine(std::max(left, std::chrono::milliseconds(0)), fromStderr);
            if (!line || line->rfind(prefix, 0) == 0) {
                return line;
            }
        }
    }

    // The wait status if the program has ended, without waiting for it.
    std::optional<int> tryWait() {
        if (pid_ > 0 && !exitStatus_) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exitStatus_ = status;
            }
        }
        return exitStatus_;
    }

    // The wait status once the program has ended.
    int wait() {
        if (pid_ <= 0) {
            return -1;
        }
        if (!exitStatus_) {
            int status = 0;
            ::waitpid(pid_, &status, 0);
            exitStatus_ = status;
        }
        return *exitStatus_;
    }

  private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::string outBuffer_;
    std::string errBuffer_;
    std::optional<int> exitStatus_;
};

}  // namespace zorvan::test
