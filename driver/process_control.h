#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorvan {

// Whether a pid read from the shared settings may be signalled at all: kill()
// with 0, -1 or a negative pid signals a process group or every process of
// the user, 1 is init, and a value beyond pid_t would be cut down to some
// other process.
inline bool plausiblePeerPid(std::int64_t pid) {
    return pid > 1 && pid <= 2147483647;
}

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
    // Starts the program at `path` with `arguments` (after its name) in its
    // own session and never waits for it; it leaves no zombie. Returns its
    // pid, or 0 when it could not be started (a later request retries).
    virtual std::int64_t launchDetached(const std::string& path,
                                        const std::vector<std::string>& arguments) = 0;
};

}  // namespace zorvan
