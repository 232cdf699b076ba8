#include "serial/udev_port_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serial/plain_run_loop.h"
#include "serial/vx_serial_port_list.h"
#include "tests/serial/umockdev_testbed.h"

namespace zorvan::serial {
namespace {

using namespace std::chrono_literals;

class UdevPortList : public VXSerialPortList {
  public:
    explicit UdevPortList(RunLoop& loop)
        : VXSerialPortList(std::make_unique<UdevPortRegistry>(), &loop) {}
};

std::vector<std::string> texts(const std::vector<PortEntry>& entries) {
    std::vector<std::string> out;
    for (const PortEntry& e : entries) {
        out.push_back(e.name + " " + e.path + " " + e.type);
    }
    return out;
}

TEST(UdevPortRegistry, ScanKeepsRealPortsAndNamesThemByTheirCalloutLink) {
    test::Testbed bed;
    ASSERT_TRUE(bed.add(test::boardDescription()));
    ASSERT_TRUE(bed.add(
        // A USB modem without links: named after its kernel device.
        "P: /devices/pci0000:00/usb2/2-1/2-1:1.0/tty/ttyACM0\nN: ttyACM0\n"
        "E: DEVNAME=/dev/ttyACM0\nE: SUBSYSTEM=tty\n\n"
        "P: /devices/pci0000:00/usb2/2-1/2-1:1.0\nE: SUBSYSTEM=usb\n\n"
        // A legacy port that is there, and one the kernel keeps for an absent one.
        "P: /devices/platform/serial8250/tty/ttyS0\nN: ttyS0\nE: DEVNAME=/dev/ttyS0\n"
        "E: SUBSYSTEM=tty\nA: type=4\n\n"
        "P: /devices/platform/serial8250/tty/ttyS1\nN: ttyS1\nE: DEVNAME=/dev/ttyS1\n"
        "E: SUBSYSTEM=tty\nA: type=0\n\n"
        "P: /devices/platform/serial8250\nE: SUBSYSTEM=platform\n\n"
        // A virtual console: no parent device.
        "P: /devices/virtual/tty/tty1\nN: tty1\nE: DEVNAME=/dev/tty1\nE: SUBSYSTEM=tty\n"));
    UdevPortRegistry registry;
    std::vector<std::string> found = texts(registry.scan());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{
                         "SLAB_USBtoUART /dev/cu.SLAB_USBtoUART IOSerialStream",
                         "ttyACM0 /dev/ttyACM0 IOSerialStream",
                         "ttyS0 /dev/ttyS0 IOSerialStream",
                     }));

    const auto properties = registry.properties("SLAB_USBtoUART");
    ASSERT_TRUE(properties.has_value());
    EXPECT_EQ(properties->at("ID_VENDOR_ID"), "10c4");
    EXPECT_EQ(properties->at("ID_SERIAL"), "Silicon_Labs_CP2102_0001");
    EXPECT_FALSE(registry.properties("ttyS1").has_value());
    EXPECT_FALSE(registry.properties("nothing").has_value());
}

TEST(UdevPortRegistry, ArrivalsAndRemovalsReachTheListsObserversOnItsLoop) {
    test::Testbed bed;
    PlainRunLoop loop;
    UdevPortList list(loop);
    ASSERT_TRUE(list.followsChanges());
    EXPECT_EQ(list.count(), 0u);
    std::vector<std::string> heard;
    for (const std::string* name :
         {&VXSerialPortListDidAddPortsNotification, &VXSerialPortListDidRemovePortsNotification}) {
        list.addObserver(*name, [&](const PortListNotification& n) {
            for (const PortPointer& port : n.userInfo.ports) {
                heard.push_back(n.userInfo.key + " " + port->name() + " " + port->bsdPath());
            }
        });
    }
    auto pumpUntil = [&](std::size_t count) {
        for (int turns = 0; heard.size() < count && turns < 200; ++turns) {
            loop.runFor(10ms);
        }
        return heard.size() >= count;
    };

    ASSERT_TRUE(bed.add(test::boardDescription()));
    ASSERT_TRUE(pumpUntil(1));
    ASSERT_EQ(list.count(), 1u);
    const PortPointer board = list.objectAtIndex(0);
    EXPECT_EQ(board->properties().value_or(PortProperties{})["ID_MODEL_ID"], "ea60");

    bed.remove(test::boardSyspath());
    ASSERT_TRUE(pumpUntil(2));
    EXPECT_EQ(heard, (std::vector<std::string>{
                         "VXSerialPortListAddedPorts SLAB_USBtoUART /dev/cu.SLAB_USBtoUART",
                         "VXSerialPortListRemovedPorts SLAB_USBtoUART /dev/cu.SLAB_USBtoUART",
                     }));
    EXPECT_EQ(list.count(), 0u);
}

TEST(UdevPortRegistry, ADeviceFoundByTheFirstScanIsNotAnnouncedAgain) {
    test::Testbed bed;
    ASSERT_TRUE(bed.add(test::boardDescription()));
    PlainRunLoop loop;
    UdevPortList list(loop);
    int arrivals = 0;
    list.addObserver(VXSerialPortListDidAddPortsNotification,
                     [&](const PortListNotification& n) { arrivals += n.userInfo.ports.size(); });
    loop.runFor(200ms);
    EXPECT_EQ(arrivals, 0);
    EXPECT_EQ(list.count(), 1u);
}

// Makes the process's list without configure, with loop current on this
// thread or as the main loop, and exits 0 once it has heard a board arrive.
[[noreturn]] void makeTheListAndHearAnArrival(bool loopIsCurrent) {
    test::Testbed bed;
    auto loop = std::make_shared<PlainRunLoop>();
    std::optional<RunLoop::CurrentScope> scope;
    if (loopIsCurrent) {
        scope.emplace(loop);
    } else {
        RunLoop::setMainLoop(loop);
    }
    VXSerialPortList& list = VXSerialPortList::sharedPortList();
    scope.reset();
    std::size_t heard = 0;
    list.addObserver(VXSerialPortListDidAddPortsNotification,
                     [&](const PortListNotification& n) { heard += n.userInfo.ports.size(); });
    if (!list.followsChanges()) {
        std::_Exit(2);
    }
    if (!bed.add(test::boardDescription())) {
        std::_Exit(3);
    }
    for (int turns = 0; heard == 0 && turns < 200; ++turns) {
        loop->runFor(10ms);
    }
    std::_Exit(heard == 1 ? 0 : 1);
}

// The list is made once per process: each case makes it in a process of its own.
TEST(SharedPortListDeathTest, WithoutConfigureFollowsTheLoopAPortWouldUse) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const bool current : {true, false}) {
        SCOPED_TRACE(current ? "the creating thread's current loop" : "the main loop");
        EXPECT_EXIT(makeTheListAndHearAnArrival(current), ::testing::ExitedWithCode(0), "");
    }
}

}  // namespace
}  // namespace zorvan::serial

int main(int argc, char** argv) {
    zorvan::test::reexecUnderUmockdev(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
