#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "driver/process_control.h"

namespace zorvan {

// ProcessControl over POSIX and /proc.
// - isCalibrationTool: the process's executable (/proc/PID/exe) or, for a
//   tool started through an interpreter or owned by another user, its command
//   name (/proc/PID/comm) is "Calivo.app", and it has not ended (a zombie
//   is no tool).
// - launchDetached: double fork; the grandchild starts its own session, gets
//   default signal handling and an empty signal mask, keeps only descriptors
//   0..2 and execs the path. The middle child tells the grandchild's pid and
//   exits at once and is reaped here, so the tool is never waited for and
//   never left a zombie, and no SIGCHLD handling of the process is disturbed.
//   A failed start is said once on stderr (again only when the reason changes).
class PosixProcessControl : public ProcessControl {
  public:
    explicit PosixProcessControl(std::string toolName = "Calivo.app");

    bool isCalibrationTool(std::int64_t pid) override;
    bool sendHangup(std::int64_t pid) override;
    std::int64_t launchDetached(const std::string& path,
                                const std::vector<std::string>& arguments) override;

    // The errno of the last launch's exec (0 after a successful start).
    int lastLaunchError() const;
    // The pid of the last program started (0 before the first); any thread.
    std::int64_t lastLaunchedPid() const { return lastLaunched_.load(); }

    // Receives one line for every signal delivered to the tool and every
    // launch, started or failed, so that a request for calibration always
    // shows in the log view. Called on the requesting thread; set before use.
    void setReport(std::function<void(const std::string&)> report) { report_ = std::move(report); }

  private:
    std::string toolName_;
    std::function<void(const std::string&)> report_;
    mutable std::mutex mutex_;
    int lastLaunchError_ = 0;
    int reportedError_ = 0;
    std::atomic<std::int64_t> lastLaunched_{0};
};

// The running executable's own path (/proc/self/exe resolved); empty if unknown.
std::string ownExecutablePath();

}  // namespace zorvan
