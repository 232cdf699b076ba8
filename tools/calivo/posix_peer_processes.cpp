#include "tools/calivo/posix_peer_processes.h"

#include <signal.h>
#include <spawn.h>

#include <cstring>

#include <fstream>
#include <string>
#include <vector>

#include "driver/process_control.h"

extern char** environ;

namespace zorvan::calivo {

std::vector<std::string> PosixPeerProcesses::commandLine(std::int64_t pid) {
    if (!plausiblePeerPid(pid)) {
        return {};
    }
    std::ifstream file("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::vector<std::string> arguments;
    for (std::string argument; std::getline(file, argument, '\0');) {
        arguments.push_back(argument);
    }
    return arguments;
}

std::string PosixPeerProcesses::driverDevice(std::int64_t pid) {
    return deviceArgument(commandLine(pid));
}

bool PosixPeerProcesses::startDetached(const std::vector<std::string>& arguments,
                                       std::string& error) {
    if (arguments.empty()) {
        error = "nothing to start";
        return false;
    }
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session: the driver outlives the tool and whatever started it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t child = 0;
    const int failed = ::posix_spawn(&child, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        error = std::strerror(failed);
        return false;
    }
    return true;
}

bool PosixPeerProcesses::signal(std::int64_t pid, int number) {
    return plausiblePeerPid(pid) && ::kill(static_cast<pid_t>(pid), number) == 0;
}

}  // namespace zorvan::calivo
