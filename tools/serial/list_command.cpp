// zorvan-serial list: the serial ports, and with --watch their comings and goings.
#include "tools/serial/list_command.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "serial/plain_run_loop.h"
#include "serial/vx_serial_port_list.h"

namespace zorvan::serial_tool {

namespace {

// Written by the signal handler, read by the loop: the way out of --watch.
int stopPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
}

std::string valueOr(const serial::PortProperties& properties, const char* key,
                    const std::string& fallback) {
    const auto found = properties.find(key);
    return found != properties.end() && !found->second.empty() ? found->second : fallback;
}

void printLine(const std::string& prefix, const std::string& line) {
    std::printf("%s%s\n", prefix.c_str(), line.c_str());
    std::fflush(stdout);
}

}  // namespace

std::string portLine(const serial::VXSerialPort& port) {
    const serial::PortProperties properties = port.properties().value_or(serial::PortProperties{});
    const std::string vendor = valueOr(properties, "ID_VENDOR_ID", "");
    const std::string model = valueOr(properties, "ID_MODEL_ID", "");
    const std::string usb = vendor.empty() || model.empty() ? "-" : vendor + ":" + model;
    const std::string serialNumber =
        valueOr(properties, "ID_SERIAL_SHORT", valueOr(properties, "ID_SERIAL", "-"));
    return port.name() + "\t" + port.bsdPath() + "\t" + port.type() + "\t" + usb + "\t" +
           serialNumber;
}

int runList(const std::vector<std::string>& args) {
    bool watch = false;
    for (const std::string& arg : args) {
        if (arg == "--watch" || arg == "-w") {
            watch = true;
        } else {
            std::fprintf(stderr, "zorvan-serial list: unknown option \"%s\" (list [--watch])\n",
                         arg.c_str());
            return 2;
        }
    }
    if (!watch) {
        for (const serial::PortPointer& port :
             serial::VXSerialPortList::sharedPortList().serialPorts()) {
            printLine("", portLine(*port));
        }
        return 0;
    }

    serial::PlainRunLoop loop;
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("zorvan-serial list");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    loop.watchReadable(stopPipe[0], [&loop] { loop.quit(); });

    serial::VXSerialPortList::configure(&loop);
    serial::VXSerialPortList& list = serial::VXSerialPortList::sharedPortList();
    for (const serial::PortPointer& port : list.serialPorts()) {
        printLine("  ", portLine(*port));
    }
    if (!list.followsChanges()) {
        return 1;  // the list has said why
    }
    list.addObserver(serial::VXSerialPortListDidAddPortsNotification,
                     [](const serial::PortListNotification& n) {
                         for (const serial::PortPointer& port : n.userInfo.ports) {
                             printLine("+ ", portLine(*port));
                         }
                     });
    // A port that has gone has no properties left to show.
    list.addObserver(serial::VXSerialPortListDidRemovePortsNotification,
                     [](const serial::PortListNotification& n) {
                         for (const serial::PortPointer& port : n.userInfo.ports) {
                             printLine("- ",
                                       port->name() + "\t" + port->bsdPath() + "\t" + port->type());
                         }
                     });
    // On stderr, so that stdout stays one port a line; said once the monitor
    // is armed, so anything plugged in from now on is shown.
    std::fputs("zorvan-serial: watching for ports coming and going; Ctrl-C ends\n", stderr);
    std::fflush(stderr);
    loop.run();
    return 0;
}

}  // namespace zorvan::serial_tool
