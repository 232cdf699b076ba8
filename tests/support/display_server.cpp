#include "tests/support/display_server.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

extern char** environ;

namespace zorvan::test {

DisplayServer startDisplayServer(std::vector<std::string> argv, std::chrono::milliseconds timeout) {
    DisplayServer server;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        server.why = std::string("pipe: ") + std::strerror(errno);
        return server;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    argv.insert(argv.end(), {"-displayfd", "3"});
    std::vector<char*> pointers;
    for (std::string& a : argv) {
        pointers.push_back(a.data());
    }
    pointers.push_back(nullptr);
    const int rc =
        posix_spawnp(&server.pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        server.pid = -1;
        server.why = "cannot start " + argv[0] + ": " + std::strerror(rc);
        return server;
    }
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    // Bounded: a server that never answers is a failed start, not a hang.
    while (::poll(&p, 1, static_cast<int>(timeout.count())) > 0 && ::read(fds[0], &c, 1) == 1 &&
           c != '\n') {
        server.number += c;
    }
    ::close(fds[0]);
    return server;
}

void stopDisplayServer(pid_t& pid) {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        pid = -1;
    }
}

}  // namespace zorvan::test
