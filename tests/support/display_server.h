#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace zorvan::test {

// An X server started for a test.
struct DisplayServer {
    pid_t pid = -1;      // > 0 once started; the caller stops it
    std::string number;  // the display number it reported; empty when it did not
    std::string why;     // why it did not start at all
};

// Starts argv (argv[0] looked up on PATH, its stdio on /dev/null) with
// "-displayfd 3" appended, and waits at most timeout for the display number
// the server writes there once it accepts clients.
DisplayServer startDisplayServer(std::vector<std::string> argv, std::chrono::milliseconds timeout);

// Ends a server started so (SIGTERM, then reaped) and sets pid to -1.
void stopDisplayServer(pid_t& pid);

}  // namespace zorvan::test
