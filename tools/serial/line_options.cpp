#include <errno.h>

#include <cstdio>
#include <cstdlib>

#include "tools/serial/serial_command.h"

namespace zorvan::serial_tool {
namespace {

std::optional<long> number(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

bool takeLineOption(const std::vector<std::string>& args, std::size_t& i, LineOptions& options,
                    std::string& error) {
    const std::string& name = args[i];
    if (name == "--rtscts") {
        options.rtscts = true;
        return true;
    }
    if (name == "--exclusive") {
        options.exclusive = true;
        return true;
    }
    if (name == "--ignore-lock") {
        options.ignoreLock = true;
        return true;
    }
    if (name != "--speed" && name != "--data-bits" && name != "--parity" && name != "--stop-bits") {
        return false;
    }
    if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return true;
    }
    const std::string value = args[++i];
    const auto n = number(value);
    if (name == "--speed") {
        // The largest rate a terminal record can carry; beyond it is no rate at all.
        if (!n || *n <= 0 || *n > 4294967295L) {
            error = "--speed takes a bit rate from 1 to 4294967295, not \"" + value + "\"";
        }
        options.speed = n;
    } else if (name == "--data-bits") {
        if (!n || *n < 5 || *n > 8) {
            error = "--data-bits takes 5 to 8, not \"" + value + "\"";
        }
        options.dataBits = n ? static_cast<int>(*n) : 8;
    } else if (name == "--parity") {
        options.parity = value == "none" ? 0 : value == "odd" ? 1 : value == "even" ? 2 : -1;
        if (options.parity == -1) {
            error = "--parity takes none, odd or even, not \"" + value + "\"";
        }
    } else {
        if (!n || (*n != 1 && *n != 2)) {
            error = "--stop-bits takes 1 or 2, not \"" + value + "\"";
        }
        options.stopBits = n ? static_cast<int>(*n) : 1;
    }
    return true;
}

std::shared_ptr<serial::VXSerialPort> openPort(const std::string& path,
                                               const LineOptions& options) {
    const auto slash = path.rfind('/');
    auto port = std::make_shared<serial::VXSerialPort>(
        path, slash == std::string::npos ? path : path.substr(slash + 1), "IOSerialStream");
    port->setExclusiveAccess(options.exclusive);
    if (!port->open()) {
        const int reason = port->openErrorCode();
        std::fprintf(stderr, "zorvan-serial: cannot open %s: %s%s\n", path.c_str(),
                     reason == ENOTTY ? "not a terminal" : serial::errnoText(reason).c_str(),
                     reason == EBUSY ? " (another program has it for itself)" : "");
        return nullptr;
    }
    // Before any setting changes: a program that holds the lock (the driver
    // on its board) keeps its device as it set it up.
    serial::SerialError locked;
    if (!options.ignoreLock && !port->lockPort(&locked)) {
        if (locked.code == serial::VXSerialErrorPortLocked) {
            const auto holder = port->lockHolder();
            const auto* pid = locked.find<std::int64_t>(serial::VXLockHolderPidKey);
            std::string who = "another program";
            if (holder && !holder->program.empty()) {
                who = holder->program + " (pid " + std::to_string(holder->pid) + ")";
            } else if (pid != nullptr) {
                who = "pid " + std::to_string(*pid);
            }
            std::fprintf(stderr,
                         "zorvan-serial: %s is in use: %s holds its lock (--ignore-lock "
                         "uses it all the same)\n",
                         path.c_str(), who.c_str());
        } else {
            std::fprintf(stderr, "zorvan-serial: %s: cannot take its lock\n", path.c_str());
        }
        return nullptr;
    }
    if (options.speed && !port->setSpeed(*options.speed)) {
        std::fprintf(stderr, "zorvan-serial: %s: speed %ld: %s\n", path.c_str(), *options.speed,
                     serial::errnoText(port->errorCode()).c_str());
        return nullptr;
    }
    if (options.dataBits) {
        port->setDataBits(static_cast<unsigned long>(*options.dataBits));
    }
    if (options.parity) {
        port->setParity(*options.parity);
    }
    if (options.stopBits) {
        port->setStopBits(*options.stopBits);
    }
    if (options.rtscts) {
        port->setRTSInputFlowControl(true);
        port->setCTSOutputFlowControl(true);
    }
    // Bytes as they come: no line editing and no echo by the device.
    port->setCanonicalMode(false);
    port->setEchoEnabled(false);
    port->setLocalMode(true);
    if (!port->commitChanges()) {
        std::fprintf(stderr, "zorvan-serial: %s: the device refuses these settings: %s\n",
                     path.c_str(), serial::errnoText(port->errorCode()).c_str());
        return nullptr;
    }
    return port;
}

void takePath(const std::string& word, std::optional<std::string>& path, std::string& error) {
    if (!word.empty() && word[0] != '-' && !path) {
        path = word;
    } else {
        error = "unexpected \"" + word + "\"";
    }
}

bool badCommandLine(const char* command, const std::optional<std::string>& path,
                    std::string error) {
    if (error.empty() && !path) {
        error = std::string(command) + " needs a PATH";
    }
    if (error.empty()) {
        return false;
    }
    std::fprintf(stderr, "zorvan-serial %s: %s (see zorvan-serial --help)\n", command,
                 error.c_str());
    return true;
}

}  // namespace zorvan::serial_tool
