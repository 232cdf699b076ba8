// zorvan-serial list: the serial ports, and with --watch their comings and goings.
#include "tools/serial/list_command.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <map>

#include "serial/plain_run_loop.h"
#include "serial/vx_serial_port_list.h"
#include "tools/serial/port_summary.h"
#include "tools/serial/serial_command.h"

namespace zorvan::serial_tool {

namespace {

// Written by the signal handler, read by the loop: the way out of --watch.
int stopPipe[2] = {-1, -1};

void onStopSignal(int) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
}

struct ListOptions {
    bool watch = false;
    bool verbose = false;
    bool json = false;
    std::string filter;
};

// Prints ports in the form chosen; with --watch each line or block starts
// with mark ("  " present, "+ " arrived, "- " gone).
class Printer {
  public:
    explicit Printer(const ListOptions& options) : options_(options) {}

    void header(bool watching) {
        if (!options_.json && !options_.verbose) {
            print((watching ? "  " : "") + summaryHeader() + "\n");
        }
    }
    void port(const PortSummary& port, const char* mark, const char* event) {
        if (options_.json) {
            print(options_.watch ? summaryJson(port, event) + "\n"
                                 : (count_ == 0 ? "[\n  " : ",\n  ") + summaryJson(port));
        } else if (options_.verbose) {
            print((count_ == 0 ? "" : "\n") + std::string(mark) + summaryDetails(port));
        } else {
            print(mark + summaryLine(port) + "\n");
        }
        ++count_;
    }
    void end() {
        if (options_.json && !options_.watch) {
            print(count_ == 0 ? "[]\n" : "\n]\n");
        }
    }

  private:
    static void print(const std::string& text) {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }

    const ListOptions& options_;
    std::size_t count_ = 0;
};

void printListUsage(std::FILE* out) {
    std::fputs(
        "usage: zorvan-serial list [-v] [--json] [--watch] [FILTER]\n"
        "\n"
        "Each serial port, one a line under a header: its name and path, the kernel's\n"
        "name and node, USB vendor:product ids, vendor and product names, serial\n"
        "number and its /dev/serial/by-id/ link (\"-\" where unknown), apart by tabs.\n"
        "\n"
        "  FILTER     only ports whose ids are VID:PID (\"10c4:ea60\"), or that have\n"
        "             the text in a name, path, link, vendor, product or serial number\n"
        "  -v         everything known of each port, its udev properties too\n"
        "  --json     a JSON array of objects; with --watch one object a line, with\n"
        "             \"event\" \"present\", \"add\" or \"remove\"\n"
        "  --watch    then each arrival (+) and removal (-) until interrupted\n",
        out);
}

}  // namespace

int runList(const std::vector<std::string>& args) {
    ListOptions options;
    bool hasFilter = false;
    for (const std::string& arg : args) {
        if (arg == "--watch" || arg == "-w") {
            options.watch = true;
        } else if (arg == "-v" || arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--help" || arg == "-h") {
            printListUsage(stdout);
            return 0;
        } else if (arg == "--version") {
            printVersion();
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && !hasFilter) {
            options.filter = arg;
            hasFilter = true;
        } else {
            std::fprintf(stderr,
                         "zorvan-serial list: unexpected \"%s\" (see zorvan-serial list --help)\n",
                         arg.c_str());
            return 2;
        }
    }
    Printer printer(options);
    if (!options.watch) {
        printer.header(false);
        for (const serial::PortPointer& port :
             serial::VXSerialPortList::sharedPortList().serialPorts()) {
            const PortSummary summary = summarize(*port);
            if (matches(summary, options.filter)) {
                printer.port(summary, "", "present");
            }
        }
        printer.end();
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
    // What was shown of each port, by path: a port that has gone has no
    // properties left, so its removal shows what its arrival did.
    std::map<std::string, PortSummary> shown;
    const auto show = [&](const serial::PortPointer& port, const char* mark, const char* event) {
        PortSummary summary = summarize(*port);
        if (matches(summary, options.filter)) {
            printer.port(summary, mark, event);
            shown[summary.path] = std::move(summary);
        }
    };
    printer.header(true);
    for (const serial::PortPointer& port : list.serialPorts()) {
        show(port, "  ", "present");
    }
    if (!list.followsChanges()) {
        return 1;  // the list has said why
    }
    list.addObserver(serial::VXSerialPortListDidAddPortsNotification,
                     [&](const serial::PortListNotification& n) {
                         for (const serial::PortPointer& port : n.userInfo.ports) {
                             show(port, "+ ", "add");
                         }
                     });
    list.addObserver(serial::VXSerialPortListDidRemovePortsNotification,
                     [&](const serial::PortListNotification& n) {
                         for (const serial::PortPointer& port : n.userInfo.ports) {
                             const auto found = shown.find(port->bsdPath());
                             if (found != shown.end()) {
                                 printer.port(found->second, "- ", "remove");
                                 shown.erase(found);
                             }
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
