#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zorvan::test {

// A program started for a test, with its stdout captured line by line. The
// destructor terminates it (SIGTERM, then SIGKILL) and reaps it.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& env, bool captureStdout = true);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The next whole line of stdout, or nothing when the time runs out or the
    // program closed its stdout.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);

    // Waits for the program to end by itself; its exit status, or nothing on time-out.
    std::optional<int> wait(std::chrono::milliseconds timeout);

    void terminate();

  private:
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    std::string pending_;
    std::optional<int> status_;
};

}  // namespace zorvan::test
