#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "calibration/settings_store.h"
#include "driver/process_control.h"

namespace zorvan {

// Signals a running calibration tool with SIGHUP, or launches "Calivo.app"
// from the folder of the driver's executable. Runs on the reader thread.
class CalivoLauncher {
  public:
    static constexpr const char* Calivoapp = "Calivo.app";
    using Clock = std::chrono::steady_clock;
    // How long a launched tool may take to publish "CalivoPid" before a
    // further request launches it again.
    static constexpr auto kToolStartup = std::chrono::seconds(5);

    // `driverExecutablePath` is /proc/self/exe resolved, in production. A
    // launched tool gets `toolArguments`: launchArguments() of this driver.
    CalivoLauncher(
        SettingsStore& prefs, ProcessControl& processes, std::string driverExecutablePath,
        std::vector<std::string> toolArguments = {},
        std::function<Clock::time_point()> now = [] { return Clock::now(); });

    // What a driver tells the tool it launches, so that the tool calibrates
    // this driver's board and pauses this driver, whatever other driver has
    // published its pid in the shared settings; and the screen named on the
    // driver's command line (empty: none), which wins over the saved one in
    // the tool as it does in the driver.
    static std::vector<std::string> launchArguments(const std::string& devicePath,
                                                    std::int64_t driverPid,
                                                    const std::string& screen = {});

    // Synchronizes the store, reads "CalivoPid" and signals that process if it
    // can be the calibration tool (greater than 1, within the pid range, and
    // its executable is the tool); otherwise, or when the signal is not
    // delivered, launches the tool. While a launched tool is starting (it has
    // not changed "CalivoPid" yet, for up to kToolStartup) a request does
    // nothing: a board repeating its command launches one tool, not hundreds.
    // Failures are not reported to the caller.
    void startCalivo();

    // Full path of the last launch attempt; empty before the first.
    const std::string& callPath() const { return callPath_; }

    // The folder of `executablePath` with its final separator, then "Calivo.app".
    static std::string toolPathNextTo(const std::string& executablePath);

  private:
    SettingsStore& prefs_;
    ProcessControl& processes_;
    std::string driverExecutablePath_;
    std::vector<std::string> toolArguments_;
    std::function<Clock::time_point()> now_;
    std::string callPath_;
    // The last launch: when, and what "CalivoPid" said then.
    std::optional<Clock::time_point> launchedAt_;
    std::int64_t pidAtLaunch_ = 0;
};

}  // namespace zorvan
