#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/serial/umockdev_testbed.h"
#include "tests/support/child_process.h"

namespace zorvan::test {
namespace {

using namespace std::chrono_literals;

std::string tool() {
    const char* dir = std::getenv("ZORVAN_BIN_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/zorvan-serial";
}

const std::string kHeader = "NAME\tPATH\tKERNEL\tNODE\tVID:PID\tVENDOR\tPRODUCT\tSERIAL\tBY-ID";
// The board's bridge, named by its link; the USB strings only, so the
// serial number is udev's long form.
const std::string kBoardLine =
    "SLAB_USBtoUART\t/dev/cu.SLAB_USBtoUART\tttyUSB0\t/dev/ttyUSB0\t10c4:ea60\t-\t-\t"
    "Silicon_Labs_CP2102_0001\t/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00";
// An FTDI bridge with no link of the board's kind, named by the kernel.
const std::string kFtdiLine =
    "ttyUSB1\t/dev/ttyUSB1\tttyUSB1\t/dev/ttyUSB1\t0403:6001\tFuture Technology Devices "
    "International, Ltd\tFT232 Serial (UART) IC\tA1B2C3\t/dev/serial/by-id/"
    "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
// A CH340 bridge with the hardware database's names missing: its USB strings
// as udev stores them, \x20 for a space.
const std::string kCh340Line =
    "ttyUSB2\t/dev/ttyUSB2\tttyUSB2\t/dev/ttyUSB2\t1a86:7523\tQinHeng Labs\tUSB Serial\t-\t-";

std::string ftdiDescription() {
    return "P: " + boardSyspath("ttyUSB1").substr(4) +
           "\nN: ttyUSB1\nE: DEVNAME=/dev/ttyUSB1\nE: SUBSYSTEM=tty\n"
           "E: DEVLINKS=/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0 "
           "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0\n"
           "E: ID_VENDOR_ID=0403\nE: ID_MODEL_ID=6001\nE: ID_VENDOR=FTDI\n"
           "E: ID_VENDOR_FROM_DATABASE=Future Technology Devices International, Ltd\n"
           "E: ID_MODEL_FROM_DATABASE=FT232 Serial (UART) IC\nE: ID_SERIAL_SHORT=A1B2C3\n"
           "E: ID_SERIAL=FTDI_FT232R_USB_UART_A1B2C3\n\n"
           "P: " +
           bridgeInterface("ttyUSB1") + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n";
}

std::string ch340Description() {
    return "P: " + boardSyspath("ttyUSB2").substr(4) +
           "\nN: ttyUSB2\nE: DEVNAME=/dev/ttyUSB2\nE: SUBSYSTEM=tty\n"
           "E: ID_VENDOR_ID=1A86\nE: ID_MODEL_ID=7523\nE: ID_VENDOR=QinHeng_Labs\n"
           "E: ID_VENDOR_ENC=QinHeng\\x20Labs\nE: ID_MODEL_ENC=USB\\x20Serial\n\n"
           "P: " +
           bridgeInterface("ttyUSB2") + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n";
}

// Runs zorvan-serial with args; its stdout lines and exit code (-1 when it
// did not end by itself).
std::pair<std::vector<std::string>, int> run(std::vector<std::string> args) {
    args.insert(args.begin(), tool());
    ChildProcess child(args, {});
    std::vector<std::string> lines;
    while (const auto line = child.readLine(5s)) {
        lines.push_back(*line);
    }
    const auto status = child.wait(5s);
    return {lines, status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1};
}

TEST(ZorvanSerialList, NamesLinksDatabaseNamesAndFilters) {
    Testbed bed;
    ASSERT_TRUE(bed.add(boardDescription()));
    ASSERT_TRUE(bed.add(ftdiDescription()));
    ASSERT_TRUE(bed.add(ch340Description()));
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::vector<std::string> out;
        int exit;
    } cases[] = {
        {"every port", {"list"}, {kHeader, kBoardLine, kFtdiLine, kCh340Line}, 0},
        {"by VID:PID, in any case", {"list", "0403:6001"}, {kHeader, kFtdiLine}, 0},
        {"ids no port has", {"list", "0403:6010"}, {kHeader}, 0},
        {"by text of a vendor, in any case", {"list", "qinheng"}, {kHeader, kCh340Line}, 0},
        {"by text of a link", {"list", "by-path/pci"}, {kHeader, kFtdiLine}, 0},
        {"by the library's name", {"list", "SLAB"}, {kHeader, kBoardLine}, 0},
        {"two filters", {"list", "a", "b"}, {}, 2},
        {"an unknown option", {"list", "--all"}, {}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto [out, exit] = run(c.args);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(exit, c.exit);
    }
    const auto [help, helpExit] = run({"list", "--help"});
    ASSERT_FALSE(help.empty());
    EXPECT_EQ(help[0], "usage: zorvan-serial list [-v] [--json] [--watch] [FILTER]");
    EXPECT_EQ(helpExit, 0);
}

TEST(ZorvanSerialList, JsonReadsBackAsWhatTheDeviceTells) {
    Testbed bed;
    ASSERT_TRUE(bed.add(boardDescription()));
    ASSERT_TRUE(bed.add(ftdiDescription()));
    ASSERT_TRUE(bed.add(ch340Description()));
    const auto [lines, exit] = run({"list", "--json"});
    EXPECT_EQ(exit, 0);
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << text;
    const QJsonArray ports = document.array();
    ASSERT_EQ(ports.size(), 3);
    const QJsonObject board = ports[0].toObject();
    EXPECT_EQ(board["name"].toString(), "SLAB_USBtoUART");
    EXPECT_EQ(board["path"].toString(), "/dev/cu.SLAB_USBtoUART");
    EXPECT_EQ(board["kernel"].toString(), "ttyUSB0");
    EXPECT_EQ(board["node"].toString(), "/dev/ttyUSB0");
    EXPECT_EQ(board["links"].toArray().size(), 3);
    EXPECT_EQ(board["vid"].toString(), "10c4");
    EXPECT_TRUE(board["vendor"].isNull());
    EXPECT_EQ(board["properties"].toObject()["ID_MODEL_ID"].toString(), "ea60");
    const QJsonObject ftdi = ports[1].toObject();
    EXPECT_EQ(ftdi["vendor"].toString(), "Future Technology Devices International, Ltd");
    EXPECT_EQ(ftdi["serial"].toString(), "A1B2C3");
    EXPECT_EQ(ftdi["byId"].toString(),
              "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0");
    const QJsonObject ch340 = ports[2].toObject();
    EXPECT_EQ(ch340["pid"].toString(), "7523");
    EXPECT_EQ(ch340["product"].toString(), "USB Serial");
    EXPECT_TRUE(ch340["byId"].isNull());
}

TEST(ZorvanSerialList, WatchPrintsArrivalsAndRemovalsUntilInterrupted) {
    Testbed bed;
    // Its stderr joins stdout so the test hears when the monitor is armed.
    ChildProcess watch({"/bin/sh", "-c", "exec \"$0\" list --watch 2>&1", tool()}, {});
    EXPECT_EQ(watch.readLine(10s), "  " + kHeader);
    EXPECT_EQ(watch.readLine(10s),
              "zorvan-serial: watching for ports coming and going; Ctrl-C ends");
    ASSERT_TRUE(bed.add(boardDescription()));
    EXPECT_EQ(watch.readLine(5s), "+ " + kBoardLine);
    bed.remove(boardSyspath(), "/dev/ttyUSB0");
    // A port that has gone is shown as it came.
    EXPECT_EQ(watch.readLine(5s), "- " + kBoardLine);
    ::kill(watch.pid(), SIGINT);
    EXPECT_EQ(watch.wait(5s), 0);
}

}  // namespace
}  // namespace zorvan::test
