// Reads text lines from a serial device with the line reader and prints
// them, until the device is silent for the time-out.
//
//   read_lines PATH [SPEED] [SECONDS]      e.g. read_lines /dev/ttyUSB0 115200 5
#include <zorvan/serial/serial.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

using namespace zorvan::serial;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: read_lines PATH [SPEED] [SECONDS]\n");
        return 2;
    }
    const std::string path = argv[1];
    const long speed = argc > 2 ? std::atol(argv[2]) : 115200;
    const double seconds = argc > 3 ? std::atof(argv[3]) : 5.0;

    auto port = std::make_shared<VXSerialPort>(path, path, "IOSerialStream");
    if (!port->open()) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(),
                     errnoText(port->openErrorCode()).c_str());
        return 1;
    }
    // 8N1, raw input (no line editing by the device), at the speed asked for.
    port->setSpeed(speed);
    port->setDataBits(8);
    port->setParity(0);
    port->setStopBits(1);
    port->setCanonicalMode(false);
    port->setEchoEnabled(false);
    port->setLocalMode(true);
    if (!port->commitChanges()) {
        std::fprintf(stderr, "%s refuses these settings: %s\n", path.c_str(),
                     errnoText(port->errorCode()).c_str());
        return 1;
    }
    port->setReadTimeout(seconds);  // the longest wait for one line

    for (;;) {
        SerialError error;
        // Up to and including '\n', wherever it falls in what arrives; what
        // follows stays for the next read.
        const auto line = port->readUpToDelimiter('\n', 1024, &error);
        if (error.code == VXSerialErrorNone) {
            std::fwrite(line->data(), 1, line->size(), stdout);
            std::fflush(stdout);
        } else if (error.code == VXSerialErrorBufferFull) {
            std::printf("[a line of more than 1024 bytes, cut]\n");
        } else if (error.code == VXSerialErrorTimedOut) {
            std::printf("[silent for %g s%s]\n", seconds, line ? ", a part line dropped" : "");
            break;
        } else {
            std::fprintf(stderr, "the read failed (code %d)\n", error.code);
            return 1;
        }
    }
    port->close();  // the device gets back the settings it had
    return 0;
}
