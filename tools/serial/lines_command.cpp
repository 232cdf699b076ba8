// zorvan-serial lines: the modem-control lines of a port, and with --watch
// their changes.
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>

#include "tools/serial/serial_command.h"

namespace zorvan::serial_tool {
namespace {

std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);
void onStopSignal(int) {
    gStop.store(true);
}

// "CTS RI", or "-" for none.
std::string lineNames(unsigned lines) {
    std::string names;
    for (const auto& [bit, name] : kLineNames) {
        if ((lines & bit) != 0) {
            names += (names.empty() ? "" : " ") + std::string(name);
        }
    }
    return names.empty() ? "-" : names;
}

}  // namespace

std::string failureText(const serial::SerialError& failure) {
    if (failure.code == serial::VXSerialErrorNoModemLines) {
        return "this device has no modem lines";
    }
    using Cause = std::shared_ptr<const serial::SerialError>;
    const auto* cause = failure.find<Cause>(serial::VXUnderlyingErrorKey);
    return cause != nullptr && *cause ? serial::errnoText((*cause)->code)
                                      : "error " + std::to_string(failure.code);
}

std::string linesText(unsigned lines) {
    std::string text;
    for (const auto& [bit, name] : kLineNames) {
        text +=
            (text.empty() ? "" : " ") + std::string(name) + ((lines & bit) != 0 ? "=on" : "=off");
    }
    return text;
}

int runLines(const std::vector<std::string>& args) {
    std::optional<std::string> path;
    bool watch = false;
    std::string error;
    for (const std::string& a : args) {
        if (a == "--watch" || a == "-w") {
            watch = true;
        } else if (a == "--help") {
            printUsage(stdout);
            return 0;
        } else if (a == "--version") {
            printVersion();
            return 0;
        } else {
            takePath(a, path, error);
        }
    }
    if (badCommandLine("lines", path, error)) {
        return 2;
    }
    // Looking changes nothing: no settings, no lock; other programs may
    // use the port meanwhile.
    const auto slash = path->rfind('/');
    auto port = std::make_shared<serial::VXSerialPort>(
        *path, slash == std::string::npos ? *path : path->substr(slash + 1), "IOSerialStream");
    if (!port->open()) {
        const int reason = port->openErrorCode();
        std::fprintf(stderr, "zorvan-serial: cannot open %s: %s\n", path->c_str(),
                     reason == ENOTTY ? "not a terminal" : serial::errnoText(reason).c_str());
        return 1;
    }
    const auto fail = [&](const serial::SerialError& failure) {
        std::fprintf(stderr, "zorvan-serial: %s: %s\n", path->c_str(),
                     failureText(failure).c_str());
        return 1;
    };
    serial::SerialError result;
    const auto lines = port->modemLines(&result);
    if (!lines) {
        return fail(result);
    }
    std::printf("%s\n", linesText(*lines).c_str());
    std::fflush(stdout);
    if (!watch) {
        return 0;
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    const auto start = std::chrono::steady_clock::now();
    // Short waits, so that a signal ends the watch within a quarter second.
    while (!gStop.load()) {
        const auto change = port->waitForModemLineChange(0, 0.25, &result);
        if (change) {
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            std::printf("%9.3f %s changed: %s\n", elapsed.count(),
                        lineNames(change->changed).c_str(), linesText(change->lines).c_str());
            std::fflush(stdout);
        } else if (result.code != serial::VXSerialErrorTimedOut) {
            return fail(result);
        }
    }
    return 0;
}

}  // namespace zorvan::serial_tool
