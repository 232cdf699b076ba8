#include "driver/calivo_launcher.h"

#include <utility>

namespace zorvan {

CalivoLauncher::CalivoLauncher(SettingsStore& prefs, ProcessControl& processes,
                               std::string driverExecutablePath,
                               std::vector<std::string> toolArguments,
                               std::function<Clock::time_point()> now)
    : prefs_(prefs),
      processes_(processes),
      driverExecutablePath_(std::move(driverExecutablePath)),
      toolArguments_(std::move(toolArguments)),
      now_(std::move(now)) {}

std::vector<std::string> CalivoLauncher::launchArguments(const std::string& devicePath,
                                                         std::int64_t driverPid,
                                                         const std::string& screen) {
    std::vector<std::string> arguments{"--device", devicePath, "--driver-pid",
                                       std::to_string(driverPid)};
    if (!screen.empty()) {
        arguments.insert(arguments.end(), {"--screen", screen});
    }
    return arguments;
}

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

    // Only a plausible pid of the tool itself is signalled. Anything else
    // leads to a launch, as a failed kill does.
    if (plausiblePeerPid(pid) && processes_.isCalibrationTool(pid) && processes_.sendHangup(pid)) {
        return;
    }
    callPath_ = toolPathNextTo(driverExecutablePath_);
    launchedAt_ = now;
    pidAtLaunch_ = pid;
    processes_.launchDetached(callPath_, toolArguments_);
}

}  // namespace zorvan
