#pragma once

#include <cstdint>
#include <string>

#include "calibration/settings_store.h"
#include "driver/process_control.h"

namespace zorvan {

// Signals a running calibration tool with SIGHUP, or launches "Calivo.app"
// from the folder of the driver's executable. Runs on the reader thread.
class CalivoLauncher {
  public:
    static constexpr const char* Calivoapp = "Calivo.app";

    // `driverExecutablePath` is /proc/self/exe resolved, in production.
    CalivoLauncher(SettingsStore& prefs, ProcessControl& processes,
                   std::string driverExecutablePath);

    // Synchronizes the store, reads "CalivoPid" and signals that process if it
    // can be the calibration tool (greater than 1, within the pid range, and
    // its executable is the tool); otherwise, or when the signal is not
    // delivered, launches the tool. Failures are not reported to the caller.
    void startCalivo();

    // Full path of the last launch attempt; empty before the first.
    const std::string& callPath() const { return callPath_; }

    // The folder of `executablePath` with its final separator, then "Calivo.app".
    static std::string toolPathNextTo(const std::string& executablePath);

  private:
    SettingsStore& prefs_;
    ProcessControl& processes_;
    std::string driverExecutablePath_;
    std::string callPath_;
};

}  // namespace zorvan
