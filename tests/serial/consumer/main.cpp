// Uses the installed library the way its README shows.
#include <zorvan/serial/serial.h>

#include <cstdio>

int main() {
    using namespace zorvan::serial;
    PlainRunLoop loop;
    loop.post([&loop] {
        VXSerialPort port("/dev/null", "null", "IOSerialStream");
        const bool opened = port.open() != nullptr;  // not a terminal
        const VXSerialOptions options = port.options();
        std::printf("consumer: opened=%d speed=%s name=%s\n", opened,
                    options.at(VXSerialOptionSpeed).c_str(), port.name().c_str());
        loop.quit();
    });
    loop.run();
    return 0;
}
