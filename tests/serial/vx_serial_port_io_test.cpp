#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "serial/serial.h"
#include "tests/serial/serial_io_test_support.h"

namespace zorvan::serial {
namespace {

using test::bytesOf;
using test::RawPort;

std::string textOf(const std::optional<Bytes>& data) {
    return data ? std::string(data->begin(), data->end()) : "<none>";
}

std::int64_t endCodeOf(const SerialError& error) {
    const auto* code = error.find<std::int64_t>(VXEndCodeKey);
    return code != nullptr ? *code : -1;
}

std::uint64_t bytesReadOf(const SerialError& error) {
    const auto* count = error.find<std::uint64_t>(VXBytesReadKey);
    return count != nullptr ? *count : 9999;
}

TEST(VXSerialPortReadTest, StopConditions) {
    const std::string big(5000, 'x');
    const struct {
        const char* name;
        bool stopAfterBytes;
        unsigned bytes;
        bool stopAtChar;
        char stopChar;
        std::string input;
        bool hangUpAfterInput;
        std::string answer;
        int code;
        std::int64_t endCode;  // -1: none
        std::uint64_t bytesRead;
        int leftInDevice;
    } cases[] = {
        {"count inside a chunk", true, 4, false, 0, "abcdef", false, "abcd", 0, 2, 4, 2},
        {"stop char inside a chunk", false, 0, true, '\n', "ab\ncd", false, "ab\ncd", 100, -1, 5,
         0},
        {"stop char ends a chunk", false, 0, true, '\n', "ab\n", false, "ab\n", 0, 1, 3, 0},
        {"count and stop char together", true, 3, true, 'c', "abc", false, "abc", 0, 2, 3, 0},
        {"count above the buffer", true, 5000, false, 0, big, false, big.substr(0, 4096), 101, -1,
         4096, 5000 - 4096},
        {"no stop condition", false, 0, false, 0, "hello", false, "hello", 100, -1, 5, 0},
        {"silence", false, 0, false, 0, "", false, "<none>", 100, -1, 0, 0},
        {"some input then silence", true, 10, true, 'z', "ab", false, "ab", 100, -1, 2, 0},
        {"device gone after some input", true, 10, false, 0, "ab", true, "<none>", 99, -1, 2, -1},
        {"zero bytes with input waiting", true, 0, false, 0, "ab", false, "<none>", 99, -1, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawPort raw;
        raw.pty.write(bytesOf(c.input));
        // A hang-up discards unread input: it comes once the read has the bytes.
        std::thread hangUp([&] {
            if (c.hangUpAfterInput) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                raw.pty.closeMaster();
            }
        });
        SerialError error;
        const auto data = raw.port->readAndStopAfterBytes(c.stopAfterBytes, c.bytes, c.stopAtChar,
                                                          c.stopChar, &error);
        hangUp.join();
        EXPECT_EQ(textOf(data), c.answer);
        EXPECT_EQ(error.domain, VXSerialErrorDomain);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(endCodeOf(error), c.endCode);
        EXPECT_EQ(bytesReadOf(error), c.bytesRead);
        if (c.leftInDevice >= 0) {
            EXPECT_EQ(test::bytesAvailableSoon(*raw.port, c.leftInDevice), c.leftInDevice);
        }
    }
}

TEST(VXSerialPortReadTest, HungUpDeviceEndsTheReadAtOnce) {
    RawPort raw(30.0);
    raw.pty.closeMaster();
    SerialError error;
    EXPECT_EQ(raw.port->readAndReturnError(&error), std::nullopt);
    EXPECT_EQ(error.code, VXSerialErrorTransferFailed);
    EXPECT_EQ(bytesReadOf(error), 0u);
}

TEST(VXSerialPortReadTest, ClosedPortFailsAtOnce) {
    RawPort raw(30.0);
    raw.port->close();
    SerialError error;
    EXPECT_EQ(raw.port->readBytes(4, &error), std::nullopt);
    EXPECT_EQ(error.code, VXSerialErrorTransferFailed);
    EXPECT_EQ(bytesReadOf(error), 0u);
    EXPECT_EQ(raw.port->bytesAvailable(), -1);
}

TEST(VXSerialPortReadTest, CloseEndsAWaitingRead) {
    RawPort raw(30.0);
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        raw.port->close();
    });
    SerialError error;
    EXPECT_EQ(raw.port->readAndReturnError(&error), std::nullopt);
    closer.join();
    EXPECT_EQ(error.code, VXSerialErrorTransferFailed);
}

TEST(VXSerialPortReadTest, LongTimeOutsWaitForTheirStopCondition) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    // All beyond any wait a read could count, and so without a limit; the
    // first two fit the clock and wait all the same.
    for (const double timeout : {9.2e9, 1e12, 9.3e9, 1e10, 1e13, 1e300, kInf}) {
        SCOPED_TRACE(timeout);
        RawPort raw(timeout);
        std::thread late([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            raw.pty.write(bytesOf("abc"));
        });
        const auto start = std::chrono::steady_clock::now();
        SerialError error;
        const auto data = raw.port->readBytes(3, &error);
        late.join();
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
        EXPECT_EQ(textOf(data), "abc");
        EXPECT_EQ(error.code, VXSerialErrorNone);
    }
}

TEST(VXSerialPortRunLoopReadTest, AnEndlessTimeOutStillDelivers) {
    RawPort raw(std::numeric_limits<double>::infinity());
    auto loop = std::make_shared<PlainRunLoop>();
    raw.port->setRunLoop(loop);
    std::vector<std::optional<std::string>> got;
    raw.port->waitForInputSelector([&](const std::optional<std::string>& s) { got.push_back(s); });
    // Without a limit the loop's step waits until input comes, and the read
    // then gathers until its buffer is full: the input comes from another
    // thread, and a close (which ends the read) keeps a fault from hanging
    // the test.
    std::atomic<bool> done{false};
    std::thread device([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (int i = 0; i < 4; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            raw.pty.write(Bytes(1024, 'i'));
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        raw.port->close();
    });
    test::spinUntil(*loop, [&] { return !got.empty(); });
    done = true;
    device.join();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], std::string(4096, 'i'));
}

// The loop's thread reads the time-out while the owner changes it.
TEST(VXSerialPortRunLoopReadTest, TheTimeOutMayChangeWhileTheLoopReads) {
    RawPort raw(0.001);
    auto loop = std::make_shared<PlainRunLoop>();
    raw.port->setRunLoop(loop);
    std::atomic<bool> delivered{false};
    raw.port->waitForInputSelector([&](const std::optional<std::string>&) { delivered = true; });
    std::thread loopThread([&] { loop->run(); });
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
        raw.port->setReadTimeout(i % 2 == 0 ? 0.002 : 0.001);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    raw.pty.write(bytesOf("x"));
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!delivered && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    loop->post([&] { loop->quit(); });
    loopThread.join();
    EXPECT_TRUE(delivered);
}

TEST(VXSerialPortReadTest, ServesADescriptorAbove1024) {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_max < 1200) {
        GTEST_SKIP() << "descriptor limit " << limit.rlim_max;
    }
    const rlimit saved = limit;
    limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, 1200);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    std::vector<int> fillers;
    for (int fd = ::dup(0); fd >= 0 && fd < 1100; fd = ::dup(0)) {
        fillers.push_back(fd);
    }
    {
        RawPort raw;
        EXPECT_GT(raw.port->fileDescriptor(), 1024);
        raw.pty.write(bytesOf("xyz"));
        SerialError error;
        EXPECT_EQ(textOf(raw.port->readBytes(3, &error)), "xyz");
        EXPECT_EQ(error.code, VXSerialErrorNone);
    }
    for (const int fd : fillers) {
        ::close(fd);
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

TEST(VXSerialPortWriteTest, Outcomes) {
    const struct {
        const char* name;
        std::string text;
        bool open;
        bool answer;
        int code;
        bool hasUserInfo;
    } cases[] = {
        {"whole write", "hello", true, true, 0, true},
        {"empty data", "", true, false, 200, false},
        {"closed port", "hello", false, false, 99, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RawPort raw;
        if (!c.open) {
            raw.port->close();
        }
        SerialError error;
        EXPECT_EQ(raw.port->writeData(bytesOf(c.text), &error), c.answer);
        EXPECT_EQ(error.domain, VXSerialErrorDomain);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(!error.userInfo.empty(), c.hasUserInfo);
        if (c.hasUserInfo) {
            EXPECT_EQ(*error.find<std::uint64_t>(VXBytesWrittenKey), c.text.size());
            EXPECT_EQ(raw.pty.read(c.text.size(), std::chrono::seconds(2)), bytesOf(c.text));
        }
    }
}

TEST(VXSerialPortStringTest, EncodingsByNumber) {
    const struct {
        VXStringEncoding encoding;
        Bytes bytes;
        std::optional<std::string> text;
    } cases[] = {
        {VXUTF8StringEncoding, {0xC3, 0xA9, 'a'}, "\u00e9a"},
        {VXUTF8StringEncoding, {0xFF, 'a'}, std::nullopt},
        {VXUTF8StringEncoding, {0xC3}, std::nullopt},  // cut short
        // Forms that glibc's iconv lets through: above U+10FFFF, a
        // surrogate, an overlong slash.
        {VXUTF8StringEncoding, {0xF6, 0x9F, 0x9D, 0x9C}, std::nullopt},
        {VXUTF8StringEncoding, {0xED, 0xA0, 0x80}, std::nullopt},
        {VXUTF8StringEncoding, {0xC0, 0xAF}, std::nullopt},
        {VXUTF8StringEncoding, {0xF0, 0x9F, 0x98, 0x80}, "\U0001F600"},
        {VXASCIIStringEncoding, {'a', 'b'}, "ab"},
        {VXASCIIStringEncoding, {0x80}, std::nullopt},
        {VXISOLatin1StringEncoding, {0xE9, 0xFF}, "\u00e9\u00ff"},
        {VXMacOSRomanStringEncoding, {0x8E, 0x80, 0xA5}, "\u00e9\u00c4\u2022"},
        {VXWindowsCP1252StringEncoding, {0x80}, "\u20ac"},
        {999, {'a'}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.encoding);
        EXPECT_EQ(decodeString(c.bytes, c.encoding), c.text);
        if (c.text) {
            EXPECT_EQ(encodeString(*c.text, c.encoding), c.bytes);
        }
    }
    EXPECT_EQ(encodeString("\u20ac", VXISOLatin1StringEncoding), std::nullopt);
    EXPECT_EQ(encodeString("\xff", VXUTF8StringEncoding), std::nullopt);
    EXPECT_EQ(encodeString("\xf6\x9f\x9d\x9c", VXISOLatin1StringEncoding), std::nullopt);
    // Tag characters, which iconv turns into nothing and calls that success.
    for (const VXStringEncoding encoding :
         {VXASCIIStringEncoding, VXISOLatin1StringEncoding, VXWindowsCP1252StringEncoding,
          VXMacOSRomanStringEncoding}) {
        SCOPED_TRACE(encoding);
        EXPECT_EQ(encodeString("\x0c\U000E0010", encoding), std::nullopt);
        EXPECT_EQ(encodeString("a\U000E007Fb", encoding), std::nullopt);
    }
    EXPECT_EQ(encodeString("\U000E0010", VXUTF8StringEncoding), (Bytes{0xF3, 0xA0, 0x80, 0x90}));
}

TEST(VXSerialPortStringTest, ReadsAndWritesText) {
    RawPort raw;
    raw.pty.write({0xE9, 0x0A});
    SerialError error;
    EXPECT_EQ(raw.port->readUpToCharUsingEncoding('\n', VXISOLatin1StringEncoding, &error),
              "\u00e9\n");
    EXPECT_EQ(error.code, VXSerialErrorNone);

    raw.pty.write({0xFF, 0x0A});
    EXPECT_EQ(raw.port->readBytesUpToCharUsingEncoding(5, '\n', VXUTF8StringEncoding, &error),
              std::nullopt);
    EXPECT_EQ(error.code, VXSerialErrorNone);  // the read worked; the bytes are no UTF-8

    EXPECT_FALSE(raw.port->writeStringUsingEncoding("\u20ac", VXASCIIStringEncoding, &error));
    EXPECT_EQ(error.code, VXSerialErrorNothingToWrite);
    EXPECT_TRUE(raw.port->writeStringUsingEncoding("\u00e9", VXMacOSRomanStringEncoding, &error));
    EXPECT_EQ(raw.pty.read(1, std::chrono::seconds(2)), Bytes{0x8E});
}

TEST(VXSerialPortRunLoopReadTest, DeliversOnceThenDisarms) {
    RawPort raw(0.1);
    auto loop = std::make_shared<PlainRunLoop>();
    raw.port->setRunLoop(loop);
    std::vector<std::optional<std::string>> got;
    raw.port->waitForInputSelector([&](const std::optional<std::string>& s) { got.push_back(s); });
    loop->runFor(std::chrono::milliseconds(300));
    EXPECT_TRUE(got.empty());  // armed, nothing yet
    raw.pty.write(bytesOf("hi"));
    test::spinUntil(*loop, [&] { return !got.empty(); });
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], "hi");
    raw.pty.write(bytesOf("more"));
    loop->runFor(std::chrono::milliseconds(400));
    EXPECT_EQ(got.size(), 1u);
    EXPECT_EQ(test::bytesAvailableSoon(*raw.port, 4), 4);
}

TEST(VXSerialPortDeprecatedTest, Mappings) {
    VXSerialPort typeless("/dev/cu.X", "X");
    EXPECT_EQ(typeless.type(), "");
    EXPECT_NE(typeless.description().find("type: , fileHandle: "), std::string::npos);

    RawPort raw;
    VXSerialPort& port = *raw.port;
    port.setParityOdd();
    EXPECT_TRUE(port.testParity());
    EXPECT_TRUE(port.testParityOdd());
    port.setParityNone();
    EXPECT_FALSE(port.testParity());
    EXPECT_TRUE(port.testParityOdd());  // the odd flag stays
    port.setParityEven();
    EXPECT_EQ(port.parity(), 2);
    port.setStopBits2(true);
    EXPECT_EQ(port.getStopBits(), 2);
    port.setStopBits2(false);
    EXPECT_EQ(port.getStopBits(), 1);
    port.setLocal(true);
    EXPECT_TRUE(port.getLocal());
    port.setDataBits(7);
    EXPECT_EQ(port.getDataBits(), 7);
    EXPECT_EQ(port.getSpeed(), port.speed());
    EXPECT_EQ(port.getOptions(), port.options());

    EXPECT_EQ(port.writeString(""), 0);
    EXPECT_EQ(port.writeString("caf\u00e9"), 4);
    EXPECT_EQ(raw.pty.read(4, std::chrono::seconds(2)), (Bytes{'c', 'a', 'f', 0x8E}));

    raw.pty.write({0x8E, 0x8F, 0x80});
    EXPECT_EQ(test::bytesAvailableSoon(port, 3), 3);
    EXPECT_EQ(port.checkRead(), 3);
    EXPECT_EQ(port.readStringOfLength(3), "\u00e9\u00e8\u00c4");
    raw.pty.write(bytesOf("abc"));
    EXPECT_EQ(port.readString(), "abc");
    port.close();
    EXPECT_EQ(port.writeString("abc"), 0);
}

}  // namespace
}  // namespace zorvan::serial
