// Lists the serial ports udev knows, with their USB identity, and says when
// one comes or goes for the next few seconds.
//
//   list_ports [SECONDS]
#include <zorvan/serial/serial.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

using namespace zorvan::serial;

namespace {

std::string property(const VXSerialPort& port, const char* key) {
    const auto properties = port.properties();  // nullopt once the device has gone
    if (!properties) {
        return "-";
    }
    const auto found = properties->find(key);
    return found == properties->end() ? "-" : found->second;
}

void print(const char* mark, const PortPointer& port) {
    std::printf("%s %-20s %-28s %s:%s %s\n", mark, port->name().c_str(), port->bsdPath().c_str(),
                property(*port, "ID_VENDOR_ID").c_str(), property(*port, "ID_MODEL_ID").c_str(),
                property(*port, "ID_SERIAL_SHORT").c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 0;

    // The list delivers arrivals and removals on this loop, on this thread.
    auto loop = std::make_shared<PlainRunLoop>();
    VXSerialPortList::configure(loop.get());
    VXSerialPortList& list = VXSerialPortList::sharedPortList();

    for (const PortPointer& port : list.serialPorts()) {
        print(" ", port);
    }
    if (list.count() == 0) {
        std::printf("no serial ports\n");
    }
    if (seconds <= 0) {
        return 0;
    }

    list.addObserver(VXSerialPortListDidAddPortsNotification, [](const PortListNotification& n) {
        for (const PortPointer& port : n.userInfo.ports) {
            print("+", port);
        }
    });
    list.addObserver(VXSerialPortListDidRemovePortsNotification, [](const PortListNotification& n) {
        for (const PortPointer& port : n.userInfo.ports) {
            std::printf("- %s\n", port->name().c_str());
        }
    });
    std::printf("watching for %d s\n", seconds);
    std::fflush(stdout);
    loop->runFor(std::chrono::seconds(seconds));
    return 0;
}
