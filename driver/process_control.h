#pragma once

#include <cstdint>
#include <string>

namespace zorvan {

// The process services the calibration-tool launch needs, so that the launch
// logic runs in tests without signalling or starting anything. Called on the
// reader thread.
class ProcessControl {
  public:
    virtual ~ProcessControl() = default;
    // True when `pid` names a running process (not a zombie) whose
    // executable is the calibration tool ("Calivo.app").
    virtual bool isCalibrationTool(std::int64_t pid) = 0;
    // Sends SIGHUP; true when it was delivered (kill returned 0).
    virtual bool sendHangup(std::int64_t pid) = 0;
    // Starts the program at `path` in its own session and never waits for it;
    // it leaves no zombie. A failure is not returned (a later request retries).
    virtual void launchDetached(const std::string& path) = 0;
};

}  // namespace zorvan
