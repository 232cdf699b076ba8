#include "serial/vx_serial_port_list.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "serial/udev_port_registry.h"

namespace zorvan::serial {

const std::string VXSerialPortListDidAddPortsNotification =
    "VXSerialPortListDidAddPortsNotification";
const std::string VXSerialPortListDidRemovePortsNotification =
    "VXSerialPortListDidRemovePortsNotification";
const std::string VXSerialPortListAddedPorts = "VXSerialPortListAddedPorts";
const std::string VXSerialPortListRemovedPorts = "VXSerialPortListRemovedPorts";

namespace {

struct SharedListState {
    std::mutex lock;
    bool configured = false;
    RunLoop* loop = nullptr;
    std::unique_ptr<PortRegistry> registry;
    // Without configure, the loop a port made here and now would report to;
    // held, as the list follows changes on it for the rest of the process.
    std::shared_ptr<RunLoop> defaultLoop;
    VXSerialPortList* list = nullptr;  // made once, never freed
};

SharedListState& sharedState() {
    static SharedListState state;
    return state;
}

// The one way to make the shared list: its constructor is not public.
class SharedPortList final : public VXSerialPortList {
  public:
    SharedPortList(std::unique_ptr<PortRegistry> registry, RunLoop* loop)
        : VXSerialPortList(std::move(registry), loop) {}
};

}  // namespace

std::string PortListUserInfo::description() const {
    std::string text = "{\n    " + key + " =     (";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        text += (i == 0 ? "\n        " : ",\n        ") + ports[i]->description();
    }
    text += "\n    );\n}";
    return text;
}

bool VXSerialPortList::configure(RunLoop* loop, std::unique_ptr<PortRegistry> registry) {
    SharedListState& state = sharedState();
    std::lock_guard lock(state.lock);
    if (state.list != nullptr) {
        return false;
    }
    state.configured = true;
    state.loop = loop;
    state.registry = std::move(registry);
    return true;
}

VXSerialPortList& VXSerialPortList::sharedPortList() {
    SharedListState& state = sharedState();
    std::lock_guard lock(state.lock);
    if (state.list == nullptr) {
        std::unique_ptr<PortRegistry> registry = std::move(state.registry);
        if (!registry) {
            registry = std::make_unique<UdevPortRegistry>();
        }
        if (!state.configured) {
            // As a port would: the loop current here, else the main loop.
            state.defaultLoop = RunLoop::currentLoop();
            if (!state.defaultLoop) {
                state.defaultLoop = RunLoop::mainLoop();
            }
            state.loop = state.defaultLoop.get();
        }
        state.list = new SharedPortList(std::move(registry), state.loop);
    }
    return *state.list;
}

VXPortEnumerator VXSerialPortList::portEnumerator() {
    // The shared list is never freed: the enumerator's hold on it is a no-op.
    std::shared_ptr<VXSerialPortList> list(&sharedPortList(), [](VXSerialPortList*) {});
    return VXPortEnumerator(list, &VXSerialPortList::count, &VXSerialPortList::objectAtIndex);
}

VXPortEnumerator VXSerialPortList::portEnumeratorForSerialPortsOfType(const std::string& type) {
    auto snapshot =
        std::make_shared<std::vector<PortPointer>>(sharedPortList().serialPortsOfType(type));
    return VXPortEnumerator(
        snapshot, &std::vector<PortPointer>::size,
        [](const std::vector<PortPointer>& ports, std::size_t i) { return ports[i]; });
}

std::optional<PortProperties> VXSerialPortList::registryProperties(const std::string& name) {
    SharedListState& state = sharedState();
    {
        std::lock_guard lock(state.lock);
        if (state.list != nullptr) {
            return state.list->registry().properties(name);
        }
    }
    return UdevPortRegistry().properties(name);
}

VXSerialPortList::VXSerialPortList(std::unique_ptr<PortRegistry> registry, RunLoop* loop)
    : registry_(std::move(registry)) {
    PortRegistry::Batch present;
    std::string why;
    if (loop != nullptr) {
        following_ = registry_->startFollowing(
            *loop,
            {.added = [this](const PortRegistry::Batch& batch) { portsWereAdded(batch); },
             .removed = [this](const PortRegistry::Batch& batch) { portsWereRemoved(batch); }},
            present);
        if (auto* udevRegistry = dynamic_cast<UdevPortRegistry*>(registry_.get())) {
            why = udevRegistry->followFailure();
        }
    } else {
        present = registry_->scan();
    }
    for (const PortEntry& entry : present) {
        portList_.push_back(portFor(entry));
    }
    if (loop != nullptr && !following_) {
        std::fprintf(stderr,
                     "zorvan-serial: serial ports that are plugged in or removed from now on "
                     "will not be noticed (%s)\n",
                     why.empty() ? "the registry cannot follow them" : why.c_str());
    }
}

VXSerialPortList::~VXSerialPortList() = default;

std::vector<PortPointer> VXSerialPortList::serialPortsOfType(const std::string& type) const {
    std::vector<PortPointer> ofType;
    std::copy_if(portList_.begin(), portList_.end(), std::back_inserter(ofType),
                 [&](const PortPointer& port) { return port->type() == type; });
    return ofType;
}

PortPointer VXSerialPortList::portByPath(const std::string& path) const {
    const auto found =
        std::find_if(portList_.begin(), portList_.end(),
                     [&](const PortPointer& port) { return port->bsdPath() == path; });
    return found == portList_.end() ? nullptr : *found;
}

PortPointer VXSerialPortList::objectWithName(const std::string& name) const {
    const auto found = std::find_if(portList_.begin(), portList_.end(),
                                    [&](const PortPointer& port) { return port->name() == name; });
    return found == portList_.end() ? nullptr : *found;
}

VXSerialPortList::ObserverId VXSerialPortList::addObserver(const std::string& name,
                                                           Observer observer) {
    const ObserverId id = nextObserver_++;
    observers_.emplace(id, std::make_pair(name, std::move(observer)));
    return id;
}

void VXSerialPortList::removeObserver(ObserverId id) {
    observers_.erase(id);
}

PortPointer VXSerialPortList::portFor(const PortEntry& entry) const {
    if (PortPointer listed = portByPath(entry.path)) {
        return listed;
    }
    return std::make_shared<VXSerialPort>(entry.path, entry.name, entry.type);
}

void VXSerialPortList::portsWereAdded(const PortRegistry::Batch& batch) {
    std::vector<PortPointer> added;
    for (const PortEntry& entry : batch) {
        PortPointer port = portFor(entry);
        portList_.push_back(port);
        added.push_back(std::move(port));
    }
    post(VXSerialPortListDidAddPortsNotification, VXSerialPortListAddedPorts, std::move(added));
}

void VXSerialPortList::portsWereRemoved(const PortRegistry::Batch& batch) {
    std::vector<PortPointer> removed;
    for (const PortEntry& entry : batch) {
        PortPointer port = portFor(entry);
        port->close();
        std::erase_if(portList_, [&](const PortPointer& listed) { return listed->isEqual(*port); });
        removed.push_back(std::move(port));
    }
    post(VXSerialPortListDidRemovePortsNotification, VXSerialPortListRemovedPorts,
         std::move(removed));
}

void VXSerialPortList::post(const std::string& name, const std::string& key,
                            std::vector<PortPointer> ports) {
    const PortListUserInfo userInfo{key, std::move(ports)};
    // Observers may come and go from inside a call: walk a copy.
    std::vector<Observer> called;
    for (const auto& [id, entry] : observers_) {
        if (entry.first == name) {
            called.push_back(entry.second);
        }
    }
    for (const Observer& observer : called) {
        observer(PortListNotification{name, *this, userInfo});
    }
}

}  // namespace zorvan::serial
