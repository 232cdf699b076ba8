#include "serial/vx_serial_port_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/plain_run_loop.h"
#include "serial/scripted_port_registry.h"
#include "tests/support/pty_pair.h"

namespace zorvan::serial {
namespace {

PortEntry entry(const std::string& name, const std::string& path) {
    return {name, path, "IOSerialStream"};
}

// A list of its own per test; the process-wide one is made only once.
class TestPortList : public VXSerialPortList {
  public:
    TestPortList(ScriptedPortRegistry::Batch present, RunLoop* loop)
        : VXSerialPortList(std::make_unique<ScriptedPortRegistry>(std::move(present)), loop) {}
    ScriptedPortRegistry& scripted() { return static_cast<ScriptedPortRegistry&>(registry()); }
};

struct Heard {
    std::string name;
    std::vector<PortPointer> ports;
    std::string text;
    bool firstWasOpen = false;
};

class PortListTest : public ::testing::Test {
  protected:
    void observe(VXSerialPortList& list) {
        for (const std::string* name : {&VXSerialPortListDidAddPortsNotification,
                                        &VXSerialPortListDidRemovePortsNotification}) {
            list.addObserver(*name, [this, &list](const PortListNotification& n) {
                EXPECT_EQ(&n.object, &list);
                heard.push_back({n.name, n.userInfo.ports, n.userInfo.description(),
                                 !n.userInfo.ports.empty() && n.userInfo.ports[0]->isOpen()});
            });
        }
    }
    static std::vector<std::string> paths(const std::vector<PortPointer>& ports) {
        std::vector<std::string> out;
        for (const PortPointer& port : ports) {
            out.push_back(port->bsdPath());
        }
        return out;
    }

    PlainRunLoop loop;
    std::vector<Heard> heard;
};

TEST_F(PortListTest, ArrivalsAndRemovalsChangeTheListAndAreAnnounced) {
    const PortEntry a = entry("ttyUSB0", "/dev/ttyUSB0");
    const PortEntry b = entry("SLAB_USBtoUART", "/dev/cu.SLAB_USBtoUART");
    struct Case {
        const char* what;
        std::vector<PortEntry> present;
        bool arrival;
        std::vector<PortEntry> batch;
        std::vector<std::string> listAfter;
        std::vector<std::string> announced;
    };
    const std::vector<Case> cases = {
        {"arrival appended in order", {a}, true, {b}, {a.path, b.path}, {b.path}},
        {"empty arrival still announced", {a}, true, {}, {a.path}, {}},
        {"same path published again is listed twice", {a}, true, {a}, {a.path, a.path}, {a.path}},
        {"removal of a path listed twice removes both", {a, b, a}, false, {a}, {b.path}, {a.path}},
        {"removal of a port never listed is still announced", {a}, false, {b}, {a.path}, {b.path}},
        {"empty removal announced", {a}, false, {}, {a.path}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        heard.clear();
        TestPortList list(c.present, &loop);
        EXPECT_TRUE(list.followsChanges());
        observe(list);
        if (c.arrival) {
            list.scripted().announceAdded(c.batch);
        } else {
            list.scripted().announceRemoved(c.batch);
        }
        EXPECT_EQ(paths(list.serialPorts()), c.listAfter);
        ASSERT_EQ(heard.size(), 1u);
        EXPECT_EQ(heard[0].name, c.arrival ? VXSerialPortListDidAddPortsNotification
                                           : VXSerialPortListDidRemovePortsNotification);
        EXPECT_EQ(paths(heard[0].ports), c.announced);
    }
}

TEST_F(PortListTest, ClientsGetTheVeryObjectsBackAndARemovalClosesThemFirst) {
    test::PtyPair pty;
    TestPortList list({entry("pts", pty.slavePath()), entry("other", "/dev/ttyS9")}, &loop);
    observe(list);
    const PortPointer handed = list.portByPath(pty.slavePath());
    ASSERT_TRUE(handed && handed->open());
    // A later arrival for the same path answers the listed object.
    list.scripted().announceAdded({entry("pts", pty.slavePath())});
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].ports.at(0), handed);

    list.scripted().announceRemoved({entry("pts", pty.slavePath())});
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].ports.at(0), handed);
    EXPECT_FALSE(heard[1].firstWasOpen) << "closed before observers hear of it";
    EXPECT_EQ(list.count(), 1u);
    EXPECT_EQ(list.objectWithName("other"), list.objectAtIndex(0));
    EXPECT_EQ(list.portByPath(pty.slavePath()), nullptr);
}

TEST_F(PortListTest, UserInfoTextShowsTheKeyAndEachPortInItsOwnForm) {
    TestPortList list({}, &loop);
    observe(list);
    list.scripted().announceAdded({entry("a", "/dev/a"), entry("b", "/dev/b")});
    list.scripted().announceRemoved({entry("a", "/dev/a")});
    ASSERT_EQ(heard.size(), 2u);
    const std::string& added = heard[0].text;
    EXPECT_EQ(added.find("{\n    VXSerialPortListAddedPorts =     (\n        <VXSerialPort: "), 0u);
    const auto first = added.find(heard[0].ports[0]->description());
    const auto second = added.find(heard[0].ports[1]->description());
    EXPECT_NE(first, std::string::npos);
    EXPECT_LT(first, second);
    // The removal key is two characters longer, and shifts the port by two.
    EXPECT_EQ(heard[1].text.find(heard[1].ports[0]->description()), first + 2);
    EXPECT_EQ(VXSerialPortListAddedPorts.size(), 26u);
    EXPECT_EQ(VXSerialPortListRemovedPorts, "VXSerialPortListRemovedPorts");
}

TEST_F(PortListTest, ARemovedObserverHearsNothing) {
    TestPortList list({}, &loop);
    int calls = 0;
    const auto id = list.addObserver(VXSerialPortListDidAddPortsNotification,
                                     [&](const PortListNotification&) { ++calls; });
    list.scripted().announceAdded({});
    list.removeObserver(id);
    list.scripted().announceAdded({});
    EXPECT_EQ(calls, 1);
}

TEST_F(PortListTest, WithoutALoopTheListHoldsTheScanOnly) {
    TestPortList list({entry("a", "/dev/a")}, nullptr);
    EXPECT_FALSE(list.followsChanges());
    EXPECT_EQ(list.count(), 1u);
}

TEST(StandardEnumeratorTest, AsksTheCountAtEveryStep) {
    auto items = std::make_shared<std::vector<PortPointer>>();
    auto at = [](const std::vector<PortPointer>& v, std::size_t i) { return v[i]; };
    VXPortEnumerator live(items, &std::vector<PortPointer>::size, at);
    EXPECT_EQ(live.nextObject(), nullptr);
    items->push_back(std::make_shared<VXSerialPort>("/dev/a", "a", "t"));
    items->push_back(std::make_shared<VXSerialPort>("/dev/b", "b", "t"));
    EXPECT_EQ(live.nextObject(), (*items)[0]);
    EXPECT_EQ(live.allObjects(), std::vector<PortPointer>{(*items)[1]});
    EXPECT_EQ(live.nextObject(), nullptr);
}

// The one test of this program that makes the process-wide list.
TEST(SharedPortListTest, OneListLiveEnumeratorsAndSnapshotsOfAType) {
    PlainRunLoop loop;
    auto registry = std::make_unique<ScriptedPortRegistry>(
        ScriptedPortRegistry::Batch{entry("a", "/dev/a"), {"b", "/dev/b", "Other"}});
    ScriptedPortRegistry& scripted = *registry;
    scripted.setProperties("a", {{"ID_VENDOR_ID", "10c4"}});
    ASSERT_TRUE(VXSerialPortList::configure(&loop, std::move(registry)));
    VXSerialPortList& list = VXSerialPortList::sharedPortList();
    EXPECT_EQ(&VXSerialPortList::sharedPortList(), &list);
    EXPECT_FALSE(VXSerialPortList::configure(nullptr)) << "too late once the list exists";

    VXPortEnumerator live = VXSerialPortList::portEnumerator();
    VXPortEnumerator ofType =
        VXSerialPortList::portEnumeratorForSerialPortsOfType("IOSerialStream");
    VXPortEnumerator none = VXSerialPortList::portEnumeratorForSerialPortsOfType("NoSuchType");
    EXPECT_EQ(none.nextObject(), nullptr);
    EXPECT_EQ(live.nextObject()->name(), "a");
    scripted.announceAdded({entry("c", "/dev/c")});
    const std::vector<PortPointer> rest = live.allObjects();
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[1]->name(), "c") << "a live walk sees the arrival";
    EXPECT_EQ(ofType.allObjects().size(), 1u) << "a walk of a type is a snapshot";
    EXPECT_EQ(list.getPortList(), list.serialPorts());

    EXPECT_EQ(list.objectWithName("a")->properties(), PortProperties({{"ID_VENDOR_ID", "10c4"}}));
    EXPECT_EQ(list.objectWithName("b")->properties(), std::nullopt);
}

}  // namespace
}  // namespace zorvan::serial
