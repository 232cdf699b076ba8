#include "tools/calivo/posix_peer_processes.h"

#include <signal.h>

#include <fstream>
#include <string>
#include <vector>

#include "driver/process_control.h"

namespace zorvan::calivo {

std::string PosixPeerProcesses::driverDevice(std::int64_t pid) {
    if (!plausiblePeerPid(pid)) {
        return {};
    }
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::vector<std::string> arguments;
    for (std::string argument; std::getline(file, argument, '\0');) {
        arguments.push_back(argument);
    }
    return deviceArgument(arguments);
}

bool PosixPeerProcesses::signal(std::int64_t pid, int number) {
    return plausiblePeerPid(pid) && ::kill(static_cast<pid_t>(pid), number) == 0;
}

}  // namespace zorvan::calivo
