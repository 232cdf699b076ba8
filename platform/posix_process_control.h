#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "driver/process_control.h"

namespace zorvan {

// ProcessControl over POSIX and /proc.
// - isCalibrationTool: the process's executable (/proc/PID/exe) or, for a
//   tool started through an interpreter or owned by another user, its command
//   name (/proc/PID/comm) is "Calivo.app", and it has not ended (a zombie
//   is no tool).
// - launchDetached: double fork; the grandchild starts its own session, gets
//   default signal handling and an empty signal mask, keeps only descriptors
//   0..2 and execs the path. The middle child exits at once and is reaped
//   here, so the tool is never waited for and never left a zombie, and no
//   SIGCHLD handling of the process is disturbed. A failed start is said once
//   on stderr (again only when the reason changes).
class PosixProcessControl : public ProcessControl {
  public:
    explicit PosixProcessControl(std::string toolName = "Calivo.app");

    bool isCalibrationTool(std::int64_t pid) override;
    bool sendHangup(std::int64_t pid) override;
    void launchDetached(const std::string& path) override;

    // The errno of the last launch's exec (0 after a successful start).
    int lastLaunchError() const;

  private:
    std::string toolName_;
    mutable std::mutex mutex_;
    int lastLaunchError_ = 0;
    int reportedError_ = 0;
};

// The running executable's own path (/proc/self/exe resolved); empty if unknown.
std::string ownExecutablePath();

}  // namespace zorvan
