// The board coming and going: the port list's arrivals and removals.
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "driver/app_controller.h"
#include "driver/device_path.h"
#include "serial/run_loop.h"
#include "serial/vx_serial_port_list.h"

namespace zorvan {

namespace {

constexpr const char* kBoardPortName = "SLAB_USBtoUART";
constexpr const char* kBoardPortPath = "/dev/cu.SLAB_USBtoUART";

}  // namespace

void AppController::subscribeToPortList(serial::VXSerialPortList& list) {
    unsubscribeFromPortList();
    portList_ = &list;
    portObservers_ = {
        list.addObserver(serial::VXSerialPortListDidAddPortsNotification,
                         [this](const serial::PortListNotification& n) { didAddPorts(n); }),
        list.addObserver(serial::VXSerialPortListDidRemovePortsNotification,
                         [this](const serial::PortListNotification& n) { didRemovePorts(n); })};
    for (const serial::PortPointer& port : list.serialPorts()) {
        if (isBoardPort(*port)) {
            boardPortPath_ = port->bsdPath();
            break;
        }
    }
}

void AppController::unsubscribeFromPortList() {
    if (portList_ != nullptr) {
        for (const std::uint64_t id : portObservers_) {
            portList_->removeObserver(id);
        }
    }
    portList_ = nullptr;
    portObservers_.clear();
}

bool AppController::isBoardPort(const serial::VXSerialPort& port) const {
    const std::string& wanted = services_.devicePath;
    if (wanted == kDefaultBoardPath) {
        return port.name() == kBoardPortName && port.bsdPath() == kBoardPortPath;
    }
    if (wanted.empty()) {
        return false;
    }
    // The port's node and the links udev made for it, as the registry says.
    std::vector<std::string> paths{port.bsdPath()};
    if (const auto properties = port.properties()) {
        if (const auto node = properties->find("DEVNAME"); node != properties->end()) {
            paths.push_back(node->second);
        }
        if (const auto links = properties->find("DEVLINKS"); links != properties->end()) {
            std::istringstream words(links->second);
            for (std::string link; words >> link;) {
                paths.push_back(link);
            }
        }
    }
    auto matches = [&](const std::string& path) {
        return std::find(paths.begin(), paths.end(), path) != paths.end();
    };
    // PATH as written first: the file system is asked only for a name the
    // registry does not know (a link of the user's own, "/dev/../dev/x").
    if (matches(wanted)) {
        return true;
    }
    const std::string target = resolvedDevicePath(wanted);
    return !target.empty() && target != wanted && matches(target);
}

bool AppController::isBoardPortOfBatch(const serial::VXSerialPort& port) const {
    return (!boardPortPath_.empty() && port.bsdPath() == boardPortPath_) || isBoardPort(port);
}

void AppController::didAddPorts(const serial::PortListNotification& notification) {
    log(notification.userInfo.description());
    // One batch holds all the ports of a monitor read: a hub or a dual
    // adapter may put another port before the board.
    const auto& ports = notification.userInfo.ports;
    const auto board =
        std::find_if(ports.begin(), ports.end(),
                     [this](const serial::PortPointer& p) { return isBoardPort(*p); });
    if (board == ports.end()) {
        return;
    }
    boardPortPath_ = (*board)->bsdPath();
    std::fputs("Add!!\n", services_.arrivalMessages);
    std::fflush(services_.arrivalMessages);
    if (services_.mainLoop != nullptr) {
        services_.mainLoop->postAfter(kArrivalPause, [this, alive = std::weak_ptr<int>(alive_)] {
            if (alive.lock()) {
                afterBoardArrival();
            }
        });
    } else {
        ::usleep(static_cast<useconds_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(kArrivalPause).count()));
        afterBoardArrival();
    }
}

void AppController::afterBoardArrival() {
    {
        std::lock_guard lock(openMutex_);
        if (opening_) {
            // The reader still trying to open leads to the reading one: it
            // tries again should this attempt fail.
            arrivedWhileOpening_ = true;
            return;
        }
    }
    if (services_.runFlags.iRun.load(std::memory_order_relaxed) < 0) {
        // A pause or resume sent while no reader ran came before this arrival.
        takePendingRunSignals();
        services_.runFlags.bRun.store(true, std::memory_order_relaxed);
        startReaderThread();
    }
}

void AppController::didRemovePorts(const serial::PortListNotification& notification) {
    log("didRemovePorts:");
    const auto& ports = notification.userInfo.ports;
    if (std::any_of(ports.begin(), ports.end(),
                    [this](const serial::PortPointer& p) { return isBoardPortOfBatch(*p); })) {
        {
            std::lock_guard lock(openMutex_);
            arrivedWhileOpening_ = false;
        }
        stopReader();
    }
}

std::vector<std::string> AppController::deviceListing(serial::VXSerialPortList& list) {
    std::vector<std::string> lines;
    // The list outlives the walk: the enumerator's hold on it is a no-op.
    serial::VXPortEnumerator ports(
        std::shared_ptr<serial::VXSerialPortList>(&list, [](serial::VXSerialPortList*) {}),
        &serial::VXSerialPortList::count, &serial::VXSerialPortList::objectAtIndex);
    while (const serial::PortPointer port = ports.nextObject()) {
        lines.push_back(port->name() + ":" + port->bsdPath());
    }
    return lines;
}

void AppController::listDevices(serial::VXSerialPortList& list) {
    for (const std::string& line : deviceListing(list)) {
        log(line);
    }
}

}  // namespace zorvan
