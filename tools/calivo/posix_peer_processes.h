#pragma once

#include "platform/posix_process_control.h"
#include "tools/calivo/driver_link.h"
#include "tools/calivo/driver_restart.h"

namespace zorvan::calivo {

// PeerProcesses over POSIX and /proc, with the same check of a process's
// program that the driver makes before it signals the tool.
class PosixPeerProcesses : public PeerProcesses, public DriverStarter {
  public:
    bool isDriver(std::int64_t pid) override { return driver_.isCalibrationTool(pid); }
    bool isTool(std::int64_t pid) override { return tool_.isCalibrationTool(pid); }
    bool signal(std::int64_t pid, int signal) override;
    // From /proc/PID/cmdline: the value of "--device PATH" or "--device=PATH".
    std::string driverDevice(std::int64_t pid) override;
    // From /proc/PID/cmdline.
    std::vector<std::string> commandLine(std::int64_t pid) override;
    bool runsDriver(std::int64_t pid) override { return isDriver(pid); }
    bool startDetached(const std::vector<std::string>& arguments, std::string& error) override;

  private:
    // PosixProcessControl recognises a process by its program's name.
    PosixProcessControl driver_{"zorvan"};
    PosixProcessControl tool_{"Calivo.app"};
};

}  // namespace zorvan::calivo
