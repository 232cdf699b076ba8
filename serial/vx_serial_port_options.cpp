// The settings accessors, commitChanges, the settings error and the read time-out.
#include <errno.h>

#include <cmath>
#include <limits>
#include <mutex>

#include "serial/descriptor_session.h"
#include "serial/tty_settings.h"
#include "serial/vx_serial_port.h"

namespace zorvan::serial {

using tty::Flag;

long VXSerialPort::speed() const {
    return tty::speed(options_);
}

bool VXSerialPort::setSpeed(long rate) {
    if (!tty::setSpeed(options_, rate)) {
        setSettingsError(EINVAL);
        return false;
    }
    return true;
}

unsigned long VXSerialPort::dataBits() const {
    return static_cast<unsigned long>(tty::dataBits(options_));
}

void VXSerialPort::setDataBits(unsigned long bits) {
    tty::setDataBits(options_, bits);
}

int VXSerialPort::parity() const {
    if (!tty::flag(options_, Flag::ParityEnable)) {
        return 0;
    }
    return tty::flag(options_, Flag::ParityOdd) ? 1 : 2;
}

void VXSerialPort::setParity(int parity) {
    switch (parity) {
        case 0:
            tty::setFlag(options_, Flag::ParityEnable, false);
            break;
        case 1:
            tty::setFlag(options_, Flag::ParityEnable, true);
            tty::setFlag(options_, Flag::ParityOdd, true);
            break;
        case 2:
            tty::setFlag(options_, Flag::ParityEnable, true);
            tty::setFlag(options_, Flag::ParityOdd, false);
            break;
        default:
            break;
    }
}

int VXSerialPort::stopBits() const {
    return tty::flag(options_, Flag::TwoStopBits) ? 2 : 1;
}

void VXSerialPort::setStopBits(int bits) {
    if (bits == 1 || bits == 2) {
        tty::setFlag(options_, Flag::TwoStopBits, bits == 2);
    }
}

bool VXSerialPort::echoEnabled() const {
    return tty::flag(options_, Flag::Echo);
}
void VXSerialPort::setEchoEnabled(bool on) {
    tty::setFlag(options_, Flag::Echo, on);
}

bool VXSerialPort::RTSInputFlowControl() const {
    return options_.flow.rtsInput;
}
void VXSerialPort::setRTSInputFlowControl(bool on) {
    options_.flow.rtsInput = on;
}
bool VXSerialPort::DTRInputFlowControl() const {
    return options_.flow.dtrInput;
}
void VXSerialPort::setDTRInputFlowControl(bool on) {
    options_.flow.dtrInput = on;
}
bool VXSerialPort::CTSOutputFlowControl() const {
    return options_.flow.ctsOutput;
}
void VXSerialPort::setCTSOutputFlowControl(bool on) {
    options_.flow.ctsOutput = on;
}
bool VXSerialPort::DSROutputFlowControl() const {
    return options_.flow.dsrOutput;
}
void VXSerialPort::setDSROutputFlowControl(bool on) {
    options_.flow.dsrOutput = on;
}
bool VXSerialPort::CAROutputFlowControl() const {
    return options_.flow.carOutput;
}
void VXSerialPort::setCAROutputFlowControl(bool on) {
    options_.flow.carOutput = on;
}

bool VXSerialPort::hangupOnClose() const {
    return tty::flag(options_, Flag::HangupOnClose);
}
void VXSerialPort::setHangupOnClose(bool on) {
    tty::setFlag(options_, Flag::HangupOnClose, on);
}
bool VXSerialPort::localMode() const {
    return tty::flag(options_, Flag::LocalMode);
}
void VXSerialPort::setLocalMode(bool on) {
    tty::setFlag(options_, Flag::LocalMode, on);
}
bool VXSerialPort::canonicalMode() const {
    return tty::flag(options_, Flag::CanonicalMode);
}
void VXSerialPort::setCanonicalMode(bool on) {
    tty::setFlag(options_, Flag::CanonicalMode, on);
}

bool VXSerialPort::softwareFlowControl() const {
    return tty::softwareFlow(options_);
}
void VXSerialPort::setSoftwareFlowControl(bool on) {
    tty::setSoftwareFlow(options_, on);
}

char VXSerialPort::endOfLineCharacter() const {
    return tty::endOfLine(options_);
}
void VXSerialPort::setEndOfLineCharacter(char c) {
    tty::setEndOfLine(options_, c);
}

bool VXSerialPort::commitChanges() {
    if (gotError_) {
        return false;
    }
    int error = EBADF;
    {
        // Under the close lock: a close() meanwhile either finds the settings
        // applied and puts back those found at open, or comes first.
        std::lock_guard lock(closeLock_);
        if (session_) {
            error = tty::applyTo(session_->fd, options_);
        }
    }
    if (error != 0) {
        setSettingsError(error);
        return false;
    }
    buildOptionsDictionary();
    return true;
}

void VXSerialPort::setSettingsError(int errorNumber) {
    gotError_ = true;
    lastError_ = errorNumber;
}

timeval VXSerialPort::readTimeoutAsTimeval() const {
    const double t = readTimeout();
    timeval tv{};
    if (std::isnan(t)) {
        return tv;
    }
    // Beyond +-2^63 seconds the whole part has no integer form at all.
    constexpr double kEdge = 9223372036854775808.0;
    constexpr auto kMostSeconds = std::numeric_limits<time_t>::max();
    if (t >= kEdge || t >= static_cast<double>(kMostSeconds)) {
        tv.tv_sec = kMostSeconds;
        tv.tv_usec = 999999;
        return tv;
    }
    if (t <= -kEdge || t <= static_cast<double>(std::numeric_limits<time_t>::min())) {
        tv.tv_sec = std::numeric_limits<time_t>::min();
        tv.tv_usec = -999999;
        return tv;
    }
    const double whole = std::trunc(t);
    tv.tv_sec = static_cast<time_t>(std::llrint(whole));
    tv.tv_usec = static_cast<suseconds_t>(std::lrint((t - whole) * 1000000.0));
    return tv;
}

}  // namespace zorvan::serial
