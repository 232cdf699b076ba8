#include "tools/calivo/driver_link.h"

#include <csignal>

#include "driver/process_control.h"

namespace zorvan::calivo {

std::string deviceArgument(const std::vector<std::string>& arguments) {
    std::string device;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--") {
            break;
        }
        if (arguments[i] == "--device" && i + 1 < arguments.size()) {
            device = arguments[++i];
        } else if (arguments[i].rfind("--device=", 0) == 0) {
            device = arguments[i].substr(9);
        }
    }
    return device;
}

DriverLink::DriverLink(SettingsStore& store, PeerProcesses& processes, std::int64_t ownPid,
                       std::int64_t driverPid)
    : store_(store), processes_(processes), ownPid_(ownPid), driverPid_(driverPid) {}

std::int64_t DriverLink::otherTool() {
    store_.synchronize();
    const std::int64_t pid = store_.integerForKey("CalivoPid");
    return pid != ownPid_ && plausiblePeerPid(pid) && processes_.isTool(pid) ? pid : 0;
}

std::int64_t DriverLink::restartOtherTool() {
    const std::int64_t pid = otherTool();
    return pid != 0 && processes_.signal(pid, SIGHUP) ? pid : 0;
}

void DriverLink::publish() {
    store_.setIntegerForKey(ownPid_, "CalivoPid");
    store_.synchronize();
}

std::int64_t DriverLink::runningDriver() {
    store_.synchronize();
    const std::int64_t pid = driverPid_ != 0 ? driverPid_ : store_.integerForKey("ZorvanPid");
    return plausiblePeerPid(pid) && processes_.isDriver(pid) ? pid : 0;
}

std::int64_t DriverLink::pauseDriver() {
    const std::int64_t pid = runningDriver();
    if (pid != 0 && processes_.signal(pid, SIGUSR2)) {
        pausedDriver_ = pid;
        return pid;
    }
    return 0;
}

bool DriverLink::resumeDriver() {
    // The paused one must read again even if another driver has since
    // published its pid; a driver that started meanwhile loads at its start.
    if (pausedDriver_ != 0 && processes_.isDriver(pausedDriver_)) {
        const std::int64_t pid = pausedDriver_;
        pausedDriver_ = 0;
        return processes_.signal(pid, SIGUSR1);
    }
    pausedDriver_ = 0;
    const std::int64_t pid = runningDriver();
    return pid != 0 && processes_.signal(pid, SIGUSR1);
}

std::string DriverLink::driverDevice() {
    const std::int64_t pid = pausedDriver_ != 0 ? pausedDriver_ : runningDriver();
    return pid != 0 ? processes_.driverDevice(pid) : std::string();
}

void DriverLink::withdraw() {
    store_.synchronize();
    // A second tool started meanwhile keeps its own entry.
    if (store_.integerForKey("CalivoPid") == ownPid_) {
        store_.setIntegerForKey(0, "CalivoPid");
        store_.synchronize();
    }
}

}  // namespace zorvan::calivo
