#include "driver/calivo_launcher.h"

#include <limits>
#include <utility>

namespace zorvan {

CalivoLauncher::CalivoLauncher(SettingsStore& prefs, ProcessControl& processes,
                               std::string driverExecutablePath,
                               std::function<Clock::time_point()> now)
    : prefs_(prefs),
      processes_(processes),
      driverExecutablePath_(std::move(driverExecutablePath)),
      now_(std::move(now)) {}

std::string CalivoLauncher::toolPathNextTo(const std::string& executablePath) {
    const auto slash = executablePath.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : executablePath.substr(0, slash + 1);
    return folder + Calivoapp;
}

void CalivoLauncher::startCalivo() {
    // The store is handed in at construction, so it is always set: pick up
    // what the tool saved since the last read before trusting "CalivoPid".
    prefs_.synchronize();
    const std::int64_t pid = prefs_.integerForKey("CalivoPid");
    const Clock::time_point now = now_();
    if (launchedAt_ && now - *launchedAt_ < kToolStartup && pid == pidAtLaunch_) {
        return;  // the tool we launched is still starting
    }

    // kill() with 0, -1 or a negative pid signals a process group or every
    // process of the user, 1 is init, and a value beyond pid_t would be cut
    // down to some other process: only a plausible pid of the tool itself is
    // signalled. Anything else leads to a launch, as a failed kill does.
    const bool plausible = pid > 1 && pid <= std::numeric_limits<std::int32_t>::max();
    if (plausible && processes_.isCalibrationTool(pid) && processes_.sendHangup(pid)) {
        return;
    }
    callPath_ = toolPathNextTo(driverExecutablePath_);
    launchedAt_ = now;
    pidAtLaunch_ = pid;
    processes_.launchDetached(callPath_);
}

}  // namespace zorvan
