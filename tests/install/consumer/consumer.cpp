// A program outside the tree, built against the installed library: it talks
// through a pseudo-terminal to prove that the headers, the library and its
// dependencies are all found.
#include <zorvan/serial/serial.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace zorvan::serial;

int main() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("consumer: pseudo-terminal");
        return 1;
    }
    const std::string path = ptsname(master);
    auto port = std::make_shared<VXSerialPort>(path, "pty", "IOSerialStream");
    port->setReadTimeout(2.0);
    if (!port->open() || !port->setSpeed(115200) || !port->commitChanges()) {
        std::fprintf(stderr, "consumer: %s: %s\n", path.c_str(),
                     errnoText(port->errorCode()).c_str());
        return 1;
    }

    SerialError error;
    if (!port->writeStringUsingEncoding("ping\n", VXASCIIStringEncoding, &error)) {
        std::fprintf(stderr, "consumer: write failed\n");
        return 1;
    }
    pollfd ready{master, POLLIN, 0};
    char seen[16] = {};
    if (poll(&ready, 1, 2000) != 1 || read(master, seen, sizeof seen - 1) < 4 ||
        std::string(seen, 4) != "ping") {
        std::fprintf(stderr, "consumer: the other end did not get 'ping'\n");
        return 1;
    }

    if (write(master, "pong\n", 5) != 5)
        return 1;
    const auto line = port->readUpToChar('\n', &error);
    if (!line || std::string(line->begin(), line->end()).rfind("pong", 0) != 0) {
        std::fprintf(stderr, "consumer: did not read 'pong'\n");
        return 1;
    }
    port->close();
    close(master);
    std::puts("consumer: ping and pong through zorvan-serial");
    return 0;
}
