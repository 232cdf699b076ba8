// The terminal record through termios2 (TCGETS2/TCSETS2), which carries any
// bit rate with BOTHER. <asm/termbits.h> clashes with <termios.h>, so this
// file uses the kernel's names only.
#include <asm/termbits.h>
#include <errno.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "serial/tty_settings.h"

namespace zorvan::serial::tty {
namespace {

struct StandardRate {
    tcflag_t code;
    long rate;
};

constexpr StandardRate kStandardRates[] = {
    {B0, 0},
    {B50, 50},
    {B75, 75},
    {B110, 110},
    {B134, 134},
    {B150, 150},
    {B200, 200},
    {B300, 300},
    {B600, 600},
    {B1200, 1200},
    {B1800, 1800},
    {B2400, 2400},
    {B4800, 4800},
    {B9600, 9600},
    {B19200, 19200},
    {B38400, 38400},
    {B57600, 57600},
    {B115200, 115200},
    {B230400, 230400},
    {B460800, 460800},
    {B500000, 500000},
    {B576000, 576000},
    {B921600, 921600},
    {B1000000, 1000000},
    {B1152000, 1152000},
    {B1500000, 1500000},
    {B2000000, 2000000},
    {B2500000, 2500000},
    {B3000000, 3000000},
    {B3500000, 3500000},
    {B4000000, 4000000},
};

struct FlagBit {
    Flag flag;
    bool local;  // in the local word, else in the control word
    tcflag_t bit;
};

constexpr FlagBit kFlagBits[] = {
    {Flag::ParityEnable, false, PARENB}, {Flag::ParityOdd, false, PARODD},
    {Flag::TwoStopBits, false, CSTOPB},  {Flag::Echo, true, ECHO},
    {Flag::HangupOnClose, false, HUPCL}, {Flag::LocalMode, false, CLOCAL},
    {Flag::CanonicalMode, true, ICANON},
};

const FlagBit& bitOf(Flag which) {
    return *std::find_if(std::begin(kFlagBits), std::end(kFlagBits),
                         [which](const FlagBit& f) { return f.flag == which; });
}

static_assert(VEOL < std::tuple_size_v<decltype(LineSettings::controlChars)>);
static_assert(NCCS <= std::tuple_size_v<decltype(LineSettings::controlChars)>);

}  // namespace

bool flag(const LineSettings& settings, Flag which) {
    const FlagBit& f = bitOf(which);
    return ((f.local ? settings.localFlags : settings.controlFlags) & f.bit) != 0;
}

void setFlag(LineSettings& settings, Flag which, bool on) {
    const FlagBit& f = bitOf(which);
    std::uint32_t& word = f.local ? settings.localFlags : settings.controlFlags;
    word = on ? (word | f.bit) : (word & ~f.bit);
}

int dataBits(const LineSettings& settings) {
    switch (settings.controlFlags & CSIZE) {
        case CS6:
            return 6;
        case CS7:
            return 7;
        case CS8:
            return 8;
        default:
            return 5;
    }
}

void setDataBits(LineSettings& settings, unsigned long bits) {
    settings.controlFlags &= ~CSIZE;
    switch (bits) {
        case 6:
            settings.controlFlags |= CS6;
            break;
        case 7:
            settings.controlFlags |= CS7;
            break;
        case 8:
            settings.controlFlags |= CS8;
            break;
        default:
            settings.controlFlags |= CS5;
            break;
    }
}

long speed(const LineSettings& settings) {
    const tcflag_t code = settings.controlFlags & CBAUD;
    if (code != BOTHER) {
        for (const StandardRate& r : kStandardRates) {
            if (r.code == code) {
                return r.rate;
            }
        }
    }
    return static_cast<long>(settings.outputSpeed);
}

bool setSpeed(LineSettings& settings, long rate) {
    if (rate <= 0 || static_cast<unsigned long>(rate) > std::numeric_limits<speed_t>::max()) {
        return false;
    }
    tcflag_t code = BOTHER;
    for (const StandardRate& r : kStandardRates) {
        if (r.rate == rate) {
            code = r.code;
            break;
        }
    }
    // The input-rate field cleared means "input rate = output rate".
    settings.controlFlags &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.controlFlags |= code;
    settings.inputSpeed = static_cast<std::uint32_t>(rate);
    settings.outputSpeed = static_cast<std::uint32_t>(rate);
    return true;
}

bool softwareFlow(const LineSettings& settings) {
    return (settings.inputFlags & (IXON | IXOFF)) != 0;
}

void setSoftwareFlow(LineSettings& settings, bool on) {
    settings.inputFlags = on ? (settings.inputFlags | IXON | IXOFF)
                             : (settings.inputFlags & ~static_cast<std::uint32_t>(IXON | IXOFF));
}

char endOfLine(const LineSettings& settings) {
    return static_cast<char>(settings.controlChars[VEOL]);
}

void setEndOfLine(LineSettings& settings, char c) {
    settings.controlChars[VEOL] = static_cast<std::uint8_t>(c);
}

int readFrom(int fd, LineSettings& settings) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return errno;
    }
    settings.inputFlags = t.c_iflag;
    settings.outputFlags = t.c_oflag;
    settings.controlFlags = t.c_cflag;
    settings.localFlags = t.c_lflag;
    settings.lineDiscipline = t.c_line;
    settings.controlChars.fill(0);
    std::copy(std::begin(t.c_cc), std::end(t.c_cc), settings.controlChars.begin());
    settings.inputSpeed = t.c_ispeed;
    settings.outputSpeed = t.c_ospeed;
    const bool hardware = (t.c_cflag & CRTSCTS) != 0;
    settings.flow = {};
    settings.flow.rtsInput = hardware;
    settings.flow.ctsOutput = hardware;
    return 0;
}

int applyTo(int fd, const LineSettings& settings) {
    termios2 t{};
    t.c_iflag = settings.inputFlags;
    t.c_oflag = settings.outputFlags;
    t.c_cflag = settings.controlFlags & ~CRTSCTS;
    if (settings.flow.rtsInput || settings.flow.ctsOutput) {
        t.c_cflag |= CRTSCTS;
    }
    t.c_lflag = settings.localFlags;
    t.c_line = settings.lineDiscipline;
    std::copy_n(settings.controlChars.begin(), NCCS, std::begin(t.c_cc));
    t.c_ispeed = settings.inputSpeed;
    t.c_ospeed = settings.outputSpeed;
    return ::ioctl(fd, TCSETS2, &t) != 0 ? errno : 0;
}

}  // namespace zorvan::serial::tty
