#pragma once

#include <termios.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "serial/plain_run_loop.h"
#include "serial/vx_serial_port.h"
#include "tests/serial/serial_test_support.h"

namespace zorvan::test {

inline serial::Bytes bytesOf(const std::string& text) {
    return serial::Bytes(text.begin(), text.end());
}

// A pty whose slave passes bytes through untouched, and an open port on it.
struct RawPort {
    PtyPair pty;
    std::shared_ptr<serial::VXSerialPort> port;

    explicit RawPort(double readTimeout = 0.2) {
        termios t = deviceSettings(pty);
        ::cfmakeraw(&t);
        setDeviceSettings(pty, t);
        port = std::make_shared<serial::VXSerialPort>(pty.slavePath(), "pty", "IOSerialStream");
        port->open();
        port->setReadTimeout(readTimeout);
    }
};

// Runs loop until done() or limit has passed.
inline void spinUntil(serial::PlainRunLoop& loop, const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) {
        loop.runFor(std::chrono::milliseconds(5));
    }
}

// Bytes written to a pty's master reach its slave a moment later: the count
// waiting once it stops changing (or after a second).
inline int bytesAvailableSoon(const serial::VXSerialPort& port, int expected) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    int n = port.bytesAvailable();
    while (n != expected && std::chrono::steady_clock::now() < end) {
        ::usleep(1000);
        n = port.bytesAvailable();
    }
    return n;
}

}  // namespace zorvan::test
