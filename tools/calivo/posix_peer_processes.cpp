#include "tools/calivo/posix_peer_processes.h"

#include <signal.h>

#include "driver/process_control.h"

namespace zorvan::calivo {

bool PosixPeerProcesses::signal(std::int64_t pid, int number) {
    return plausiblePeerPid(pid) && ::kill(static_cast<pid_t>(pid), number) == 0;
}

}  // namespace zorvan::calivo
