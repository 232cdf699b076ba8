#include <errno.h>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "serial/vx_serial_port.h"
#include "tests/serial/serial_test_support.h"

namespace zorvan::serial {
namespace {

using test::PtyPair;

class VXSerialOptionsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(port.open(), nullptr); }

    tcflag_t deviceControlFlags() const { return test::deviceSettings(pty).c_cflag; }
    tcflag_t deviceLocalFlags() const { return test::deviceSettings(pty).c_lflag; }

    PtyPair pty;
    VXSerialPort port{pty.slavePath(), "pty0", "IOSerialStream"};
};

TEST(VXSerialOptionsNeverOpenedTest, AnswersFromTheAllZeroRecord) {
    VXSerialPort port("/nonexistent/tty", "ghost", "");
    EXPECT_EQ(port.speed(), 0);
    EXPECT_EQ(port.dataBits(), 5u);
    EXPECT_EQ(port.parity(), 0);
    EXPECT_EQ(port.stopBits(), 1);
    EXPECT_FALSE(port.echoEnabled() || port.canonicalMode() || port.localMode() ||
                 port.hangupOnClose() || port.RTSInputFlowControl() || port.CTSOutputFlowControl());
    EXPECT_EQ(port.endOfLineCharacter(), '\0');
    const VXSerialOptions expected = {{VXSerialOptionServiceName, "ghost"},
                                      {VXSerialOptionSpeed, "0"},
                                      {VXSerialOptionDataBits, "5"},
                                      {VXSerialOptionStopBits, "1"}};
    EXPECT_EQ(port.options(), expected);
    EXPECT_FALSE(port.commitChanges());
    EXPECT_EQ(port.errorCode(), EBADF);
}

TEST_F(VXSerialOptionsTest, DataBitsParityAndStopBitsReachTheDevice) {
    const struct {
        std::function<void(VXSerialPort&)> set;
        unsigned long dataBits;
        int parity;
        int stopBits;
        // PARODD and CSTOPB on the device (a pty forces CS8 and no PARENB).
        tcflag_t deviceBits;
    } steps[] = {
        {[](VXSerialPort& p) { p.setDataBits(8); }, 8, 0, 1, 0},
        {[](VXSerialPort& p) { p.setDataBits(9); }, 5, 0, 1, 0},
        {[](VXSerialPort& p) { p.setDataBits(7); }, 7, 0, 1, 0},
        {[](VXSerialPort& p) { p.setDataBits(5); }, 5, 0, 1, 0},
        {[](VXSerialPort& p) { p.setDataBits(6); }, 6, 0, 1, 0},
        {[](VXSerialPort& p) { p.setParity(1); }, 6, 1, 1, PARODD},
        {[](VXSerialPort& p) { p.setParity(3); }, 6, 1, 1, PARODD},
        {[](VXSerialPort& p) { p.setParity(0); }, 6, 0, 1, PARODD},  // odd flag stays
        {[](VXSerialPort& p) { p.setParity(2); }, 6, 2, 1, 0},
        {[](VXSerialPort& p) { p.setStopBits(2); }, 6, 2, 2, CSTOPB},
        {[](VXSerialPort& p) { p.setStopBits(3); }, 6, 2, 2, CSTOPB},
        {[](VXSerialPort& p) { p.setStopBits(1); }, 6, 2, 1, 0},
    };
    int i = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE("step " + std::to_string(i++));
        s.set(port);
        EXPECT_EQ(port.dataBits(), s.dataBits);
        EXPECT_EQ(port.parity(), s.parity);
        EXPECT_EQ(port.stopBits(), s.stopBits);
        ASSERT_TRUE(port.commitChanges());
        EXPECT_EQ(deviceControlFlags() & (PARODD | CSTOPB), s.deviceBits);
    }
}

TEST_F(VXSerialOptionsTest, FlagsReachTheDeviceWhereLinuxHasThem) {
    using Get = bool (VXSerialPort::*)() const;
    using Set = void (VXSerialPort::*)(bool);
    const struct {
        const char* name;
        Get get;
        Set set;
        tcflag_t controlBit;  // 0: none on the device
        tcflag_t localBit;
    } flags[] = {
        {"echo", &VXSerialPort::echoEnabled, &VXSerialPort::setEchoEnabled, 0, ECHO},
        {"canonical", &VXSerialPort::canonicalMode, &VXSerialPort::setCanonicalMode, 0, ICANON},
        {"hangup", &VXSerialPort::hangupOnClose, &VXSerialPort::setHangupOnClose, HUPCL, 0},
        {"local", &VXSerialPort::localMode, &VXSerialPort::setLocalMode, CLOCAL, 0},
        {"RTS", &VXSerialPort::RTSInputFlowControl, &VXSerialPort::setRTSInputFlowControl, CRTSCTS,
         0},
        {"CTS", &VXSerialPort::CTSOutputFlowControl, &VXSerialPort::setCTSOutputFlowControl,
         CRTSCTS, 0},
        {"DTR", &VXSerialPort::DTRInputFlowControl, &VXSerialPort::setDTRInputFlowControl, 0, 0},
        {"DSR", &VXSerialPort::DSROutputFlowControl, &VXSerialPort::setDSROutputFlowControl, 0, 0},
        {"CAR", &VXSerialPort::CAROutputFlowControl, &VXSerialPort::setCAROutputFlowControl, 0, 0},
    };
    const auto allOff = [&] {
        for (const auto& f : flags) {
            (port.*f.set)(false);
        }
    };
    for (const auto& f : flags) {
        SCOPED_TRACE(f.name);
        allOff();
        ASSERT_TRUE(port.commitChanges());
        const tcflag_t control = deviceControlFlags();
        const tcflag_t local = deviceLocalFlags();
        EXPECT_EQ(control & (HUPCL | CLOCAL | CRTSCTS), 0u);
        EXPECT_EQ(local & (ECHO | ICANON), 0u);

        (port.*f.set)(true);
        EXPECT_TRUE((port.*f.get)());
        ASSERT_TRUE(port.commitChanges());
        EXPECT_EQ(deviceControlFlags(), control | f.controlBit);
        EXPECT_EQ(deviceLocalFlags(), local | f.localBit);
        for (const auto& other : flags) {
            EXPECT_EQ((port.*other.get)(), &other == &f) << other.name;
        }
    }
    // Either of RTS input and CTS output keeps the one Linux switch on.
    allOff();
    port.setRTSInputFlowControl(true);
    port.setCTSOutputFlowControl(true);
    port.setRTSInputFlowControl(false);
    ASSERT_TRUE(port.commitChanges());
    EXPECT_NE(deviceControlFlags() & CRTSCTS, 0u);
}

TEST_F(VXSerialOptionsTest, AnyPositiveRateIsCommittedExactly) {
    for (const long rate : {19200L, 250000L, 9600L, 31250L, 4000000L, 1L}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(port.setSpeed(rate));
        ASSERT_TRUE(port.commitChanges());
        EXPECT_EQ(port.speed(), rate);
        EXPECT_EQ(test::deviceOutputSpeed(pty.master()), static_cast<std::uint32_t>(rate));
        EXPECT_EQ(port.options().at(VXSerialOptionSpeed), std::to_string(rate));
    }
}

TEST_F(VXSerialOptionsTest, AFailedSettingBlocksCommitsUntilCleared) {
    ASSERT_TRUE(port.setSpeed(9600));
    port.setEchoEnabled(false);
    ASSERT_TRUE(port.commitChanges());
    for (const long rate : {0L, -9600L, 4294967296L}) {
        SCOPED_TRACE(rate);
        EXPECT_FALSE(port.setSpeed(rate));
        EXPECT_EQ(port.errorCode(), EINVAL);
        EXPECT_EQ(port.speed(), 9600);  // the record keeps its rate
        port.setEchoEnabled(true);
        EXPECT_FALSE(port.commitChanges());
        EXPECT_EQ(deviceLocalFlags() & ECHO, 0u) << "a blocked commit touches nothing";
        EXPECT_FALSE(port.commitChanges());
        port.clearError();
        EXPECT_EQ(port.errorCode(), EINVAL);
        EXPECT_TRUE(port.commitChanges());
        EXPECT_NE(deviceLocalFlags() & ECHO, 0u);
        port.setEchoEnabled(false);
        ASSERT_TRUE(port.commitChanges());
    }
}

TEST_F(VXSerialOptionsTest, EndOfLineCharacterReachesTheDevice) {
    port.setEndOfLineCharacter('\r');
    ASSERT_TRUE(port.commitChanges());
    EXPECT_EQ(test::deviceSettings(pty).c_cc[VEOL], '\r');
    EXPECT_EQ(port.endOfLineCharacter(), '\r');
}

TEST_F(VXSerialOptionsTest, DictionaryWordsAndTheirReading) {
    // Each case starts from 9600 8N1 with every flag off, applies a dictionary
    // made from options() with some entries changed (empty value: removed),
    // and checks the settings and the rebuilt dictionary.
    struct Entry {
        const char* key;
        const char* value;
    };
    const struct {
        const char* what;
        std::function<void(VXSerialPort&)> before;
        std::vector<Entry> changes;
        std::function<bool(const VXSerialPort&)> holds;
        std::vector<Entry> rebuilt;  // entries expected afterwards (empty value: absent)
    } cases[] = {
        {"Odd is odd",
         {},
         {{VXSerialOptionParity, "Odd"}},
         [](const VXSerialPort& p) { return p.parity() == 1; },
         {{VXSerialOptionParity, "Odd"}}},
        {"lower-case odd is even",
         {},
         {{VXSerialOptionParity, "odd"}},
         [](const VXSerialPort& p) { return p.parity() == 2; },
         {{VXSerialOptionParity, "Even"}}},
        {"echo NO turns echo on",
         {},
         {{VXSerialOptionEcho, "NO"}},
         [](const VXSerialPort& p) { return p.echoEnabled(); },
         {{VXSerialOptionEcho, "YES"}}},
        {"a removed echo key merges back in",
         [](VXSerialPort& p) {
             p.setEchoEnabled(true);
             p.commitChanges();
         },
         {{VXSerialOptionEcho, ""}},
         [](const VXSerialPort& p) { return p.echoEnabled(); },
         {{VXSerialOptionEcho, "YES"}}},
        {"RTS and DTR read as DTR",
         [](VXSerialPort& p) {
             p.setRTSInputFlowControl(true);
             p.setDTRInputFlowControl(true);
             p.commitChanges();
         },
         {},
         [](const VXSerialPort& p) { return p.DTRInputFlowControl() && !p.RTSInputFlowControl(); },
         {{VXSerialOptionInputFlowControl, "DTR"}}},
        {"CTS and CAR read as CAR",
         [](VXSerialPort& p) {
             p.setCTSOutputFlowControl(true);
             p.setCAROutputFlowControl(true);
             p.commitChanges();
         },
         {},
         [](const VXSerialPort& p) {
             return p.CAROutputFlowControl() && !p.CTSOutputFlowControl() &&
                    !p.DSROutputFlowControl();
         },
         {{VXSerialOptionOutputFlowControl, "CAR"}}},
        {"numbers from their leading digits",
         {},
         {{VXSerialOptionSpeed, " 115200 baud"},
          {VXSerialOptionDataBits, "7bits"},
          {VXSerialOptionStopBits, "2"},
          {VXSerialOptionCanonicalMode, "whatever"}},
         [](const VXSerialPort& p) {
             return p.speed() == 115200 && p.dataBits() == 7 && p.stopBits() == 2 &&
                    p.canonicalMode();
         },
         {{VXSerialOptionSpeed, "115200"},
          {VXSerialOptionDataBits, "7"},
          {VXSerialOptionCanonicalMode, "YES"}}},
        {"another port's dictionary is ignored",
         {},
         {{VXSerialOptionServiceName, "pty1"}, {VXSerialOptionSpeed, "300"}},
         [](const VXSerialPort& p) { return p.speed() == 9600; },
         {{VXSerialOptionSpeed, "9600"}}},
        {"a speed of 0 fails the commit",
         {},
         {{VXSerialOptionSpeed, "0"}},
         [](const VXSerialPort& p) { return p.speed() == 9600 && p.errorCode() == EINVAL; },
         {{VXSerialOptionSpeed, "0"}}},
    };
    const termios fresh = test::deviceSettings(pty);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        port.close();
        test::setDeviceSettings(pty, fresh);
        ASSERT_NE(port.open(), nullptr);
        port.clearError();
        port.setSpeed(9600);
        port.setDataBits(8);
        port.setParity(0);
        port.setStopBits(1);
        for (const auto& off :
             {&VXSerialPort::setEchoEnabled, &VXSerialPort::setCanonicalMode,
              &VXSerialPort::setRTSInputFlowControl, &VXSerialPort::setDTRInputFlowControl,
              &VXSerialPort::setCTSOutputFlowControl, &VXSerialPort::setDSROutputFlowControl,
              &VXSerialPort::setCAROutputFlowControl}) {
            (port.*off)(false);
        }
        ASSERT_TRUE(port.commitChanges());
        if (c.before) {
            c.before(port);
        }
        VXSerialOptions options = port.options();
        for (const Entry& e : c.changes) {
            if (*e.value == '\0') {
                options.erase(e.key);
            } else {
                options[e.key] = e.value;
            }
        }
        port.setOptions(options);
        EXPECT_TRUE(c.holds(port));
        const VXSerialOptions after = port.options();
        for (const Entry& e : c.rebuilt) {
            if (*e.value == '\0') {
                EXPECT_EQ(after.count(e.key), 0u) << e.key;
            } else {
                EXPECT_EQ(after.count(e.key) ? after.at(e.key) : "(absent)", e.value) << e.key;
            }
        }
    }
}

TEST(VXSerialOptionsDictionaryTest, OptionsOpensANeverReadDeviceOnce) {
    PtyPair pty;
    termios t = test::deviceSettings(pty);
    ::cfsetspeed(&t, B57600);
    test::setDeviceSettings(pty, t);
    VXSerialPort port(pty.slavePath(), "pty0", "");
    test::OpenCounter counter(pty.slavePath());

    const VXSerialOptions first = port.options();
    EXPECT_EQ(counter.opens(), 1);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(first.at(VXSerialOptionServiceName), "pty0");
    EXPECT_EQ(first.at(VXSerialOptionSpeed), "57600");

    VXSerialOptions copy = port.options();
    copy[VXSerialOptionSpeed] = "1200";  // a copy: the port's stays
    EXPECT_EQ(port.options(), first);
    EXPECT_EQ(counter.opens(), 1);
}

TEST(VXSerialReadTimeoutTest, AsTimeval) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr long kMost = std::numeric_limits<long>::max();
    constexpr long kLeast = std::numeric_limits<long>::min();
    const struct {
        double seconds;
        long sec;
        long usec;
    } cases[] = {
        {1.0, 1, 0},
        {0.5, 0, 500000},
        {2.5, 2, 500000},
        {0.0001, 0, 100},
        {0.0, 0, 0},
        {9.3e9, 9300000000, 0},
        // Beyond a timeval: clamped, never an overflow.
        {1e19, kMost, 999999},
        {1e300, kMost, 999999},
        {kInf, kMost, 999999},
        {-1e300, kLeast, -999999},
        {-kInf, kLeast, -999999},
        {std::numeric_limits<double>::quiet_NaN(), 0, 0},
    };
    VXSerialPort port("/dev/null", "null", "");
    EXPECT_EQ(port.readTimeout(), 1.0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        port.setReadTimeout(c.seconds);
        const timeval tv = port.readTimeoutAsTimeval();
        EXPECT_EQ(tv.tv_sec, c.sec);
        EXPECT_EQ(tv.tv_usec, c.usec);
    }
}

}  // namespace
}  // namespace zorvan::serial
