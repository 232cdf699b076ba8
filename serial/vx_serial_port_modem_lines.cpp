// The modem-control lines: RTS, the four inputs, and waiting for a change.
#include <errno.h>

#include <chrono>
#include <cmath>
#include <utility>

#include "serial/descriptor_session.h"
#include "serial/tty_device.h"
#include "serial/tty_io.h"
#include "serial/vx_serial_port.h"

namespace zorvan::serial {
namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks at the lines. The kernel's TIOCMIWAIT would wait
// without looking, but nothing short of a signal ends it, and a library must
// not claim one of the program's signals just so close() can end a wait. The
// kernel's change counters keep a pulse between two looks from being missed.
constexpr long long kLookMicros = 10000;

bool noLines(int errorNumber) {
    return errorNumber == ENOTTY || errorNumber == EINVAL;
}

SerialError outcome(int errorNumber) {
    if (errorNumber == 0) {
        return {VXSerialErrorDomain, VXSerialErrorNone, {}};
    }
    SerialError error{
        VXSerialErrorDomain,
        noLines(errorNumber) ? VXSerialErrorNoModemLines : VXSerialErrorTransferFailed,
        {}};
    error.userInfo[VXUnderlyingErrorKey] =
        std::make_shared<const SerialError>(SerialError::posix(errorNumber));
    return error;
}

void fill(SerialError* error, SerialError value) {
    if (error != nullptr) {
        *error = std::move(value);
    }
}

// The watched lines whose change counters moved between before and now.
unsigned counted(const tty::LineChangeCounts& before, const tty::LineChangeCounts& now) {
    return (before.cts != now.cts ? VXModemLineCTS : 0u) |
           (before.dsr != now.dsr ? VXModemLineDSR : 0u) |
           (before.dcd != now.dcd ? VXModemLineDCD : 0u) |
           (before.ri != now.ri ? VXModemLineRI : 0u);
}

}  // namespace

template <class Call>
bool VXSerialPort::controlCall(Call call, SerialError* error) const {
    const auto session = this->session();
    const int errorNumber = session ? call(*control_, session->fd) : EBADF;
    fill(error, outcome(errorNumber));
    return errorNumber == 0;
}

bool VXSerialPort::setRTS(SerialError* error) {
    return controlCall(
        [](tty::DeviceControl& c, int fd) { return c.setModemLines(fd, VXModemLineRTS, true); },
        error);
}

bool VXSerialPort::clearRTS(SerialError* error) {
    return controlCall(
        [](tty::DeviceControl& c, int fd) { return c.setModemLines(fd, VXModemLineRTS, false); },
        error);
}

std::optional<unsigned> VXSerialPort::modemLines(SerialError* error) const {
    unsigned lines = 0;
    if (!controlCall([&](tty::DeviceControl& c, int fd) { return c.modemLines(fd, lines); },
                     error)) {
        return std::nullopt;
    }
    return lines;
}

namespace {

std::optional<bool> lineOf(const std::optional<unsigned>& lines, unsigned line) {
    return lines ? std::optional<bool>((*lines & line) != 0) : std::nullopt;
}

}  // namespace

std::optional<bool> VXSerialPort::CTS(SerialError* error) const {
    return lineOf(modemLines(error), VXModemLineCTS);
}

std::optional<bool> VXSerialPort::DSR(SerialError* error) const {
    return lineOf(modemLines(error), VXModemLineDSR);
}

std::optional<bool> VXSerialPort::DCD(SerialError* error) const {
    return lineOf(modemLines(error), VXModemLineDCD);
}

std::optional<bool> VXSerialPort::RI(SerialError* error) const {
    return lineOf(modemLines(error), VXModemLineRI);
}

std::optional<VXModemLineChange> VXSerialPort::waitForModemLineChange(unsigned lines,
                                                                      double timeoutSeconds,
                                                                      SerialError* error) {
    const unsigned watched =
        (lines & VXModemInputLines) != 0 ? lines & VXModemInputLines : VXModemInputLines;
    const auto session = this->session();
    if (!session) {
        fill(error, outcome(EBADF));
        return std::nullopt;
    }
    tty::DeviceControl& control = *control_;
    unsigned before = 0;
    if (const int e = control.modemLines(session->fd, before); e != 0) {
        fill(error, outcome(e));
        return std::nullopt;
    }
    // Drivers that keep no counters are compared by the lines' states.
    tty::LineChangeCounts countsBefore;
    const bool counting = control.lineChangeCounts(session->fd, countsBefore) == 0;

    const auto start = Clock::now();
    const bool limited = !(timeoutSeconds > 9.2e9);  // infinity and beyond: no limit
    const double timeout = std::isnan(timeoutSeconds) ? 0 : timeoutSeconds;
    for (;;) {
        long long look = kLookMicros;
        if (limited) {
            const double left =
                timeout - std::chrono::duration<double>(Clock::now() - start).count();
            if (left <= 0) {
                fill(error, {VXSerialErrorDomain, VXSerialErrorTimedOut, {}});
                return std::nullopt;
            }
            look = std::min(look, static_cast<long long>(std::ceil(left * 1e6)));
        }
        // Woken only by close(): the wake-up descriptor alone is watched.
        if (tty::waitReadable(session->wakeFd, -1, look) != tty::Wait::TimedOut ||
            session->closed.load()) {
            fill(error, outcome(EBADF));
            return std::nullopt;
        }
        unsigned now = 0;
        if (const int e = control.modemLines(session->fd, now); e != 0) {
            fill(error, outcome(e));
            return std::nullopt;
        }
        unsigned changed = (before ^ now) & watched;
        tty::LineChangeCounts countsNow;
        if (counting && control.lineChangeCounts(session->fd, countsNow) == 0) {
            changed |= counted(countsBefore, countsNow) & watched;
        }
        if (changed != 0) {
            fill(error, outcome(0));
            return VXModemLineChange{changed, now};
        }
    }
}

}  // namespace zorvan::serial
