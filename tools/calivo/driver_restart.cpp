#include "tools/calivo/driver_restart.h"

namespace zorvan::calivo {

DriverRestart::DriverRestart(DriverStarter& starter, std::string toolFolder)
    : starter_(starter), toolFolder_(std::move(toolFolder)) {}

void DriverRestart::remember(std::int64_t pid) {
    if (pid <= 0) {
        return;
    }
    std::vector<std::string> arguments = starter_.commandLine(pid);
    if (arguments.empty()) {
        return;
    }
    pid_ = pid;
    arguments_ = std::move(arguments);
}

std::string DriverRestart::restartIfGone() {
    if (pid_ == 0 || starter_.runsDriver(pid_)) {
        return {};
    }
    // The driver sits next to the tool, as the tool sits next to the driver;
    // its own argv[0] may be relative to a folder we do not share.
    std::vector<std::string> arguments = arguments_;
    arguments[0] = toolFolder_ + "/zorvan";
    pid_ = 0;
    std::string line;
    for (const std::string& argument : arguments) {
        line += (line.empty() ? "" : " ") + argument;
    }
    std::string error;
    if (!starter_.startDetached(arguments, error)) {
        return "cannot start the driver again (" + line + "): " + error;
    }
    return "started the driver again: " + line;
}

}  // namespace zorvan::calivo
