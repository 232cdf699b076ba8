#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "port_registry.h"
#include "run_loop.h"
#include "vx_serial_port.h"
#include "vx_standard_enumerator.h"

namespace zorvan::serial {

// @addtogroup portlist
// @{

// Notification names and user-info keys; each holds its own name as text.
extern const std::string VXSerialPortListDidAddPortsNotification;     // ports arrived
extern const std::string VXSerialPortListDidRemovePortsNotification;  // ports went
extern const std::string VXSerialPortListAddedPorts;                  // user-info key of arrivals
extern const std::string VXSerialPortListRemovedPorts;                // user-info key of removals

// A port as the list hands it out: shared with the list.
using PortPointer = std::shared_ptr<VXSerialPort>;
// A walk over ports (VXSerialPortList::portEnumerator()).
using VXPortEnumerator = VXStandardEnumerator<PortPointer>;

class VXSerialPortList;

// What a notification carries besides its name and the list: one key and the
// ports of the batch.
struct PortListUserInfo {
    std::string key;                 // VXSerialPortListAddedPorts or VXSerialPortListRemovedPorts
    std::vector<PortPointer> ports;  // the batch, in the order found

    // As a property list, each port in its own text form:
    // {
    //     VXSerialPortListAddedPorts =     (
    //         <VXSerialPort: 55d0c2a0e4f0 = name: ttyUSB0, path: ...>
    //     );
    // }
    std::string description() const;
};

// What an observer is called with; valid during the call only.
struct PortListNotification {
    const std::string& name;           // one of the two notification names
    VXSerialPortList& object;          // the list
    const PortListUserInfo& userInfo;  // the batch
};

// The process's serial ports, in the order found, following arrivals and
// removals. One list per process, made by the first sharedPortList(): it
// fills itself from the registry then, and from then on delivers each change
// on its run loop, where its observers are called. Its loop is the one given
// to configure(); without configure, the one a port made by that first call
// would report to: the loop current on the calling thread
// (RunLoop::currentLoop()), else the process's main loop
// (RunLoop::mainLoop()), which the list then keeps for the life of the
// process. Without a run loop (none of these, or configure(nullptr)) it holds
// what the first scan found; where the registry can't follow changes it does
// the same and says once on stderr that it cannot follow ports coming and
// going.
//
// Threads: sharedPortList() from any thread; everything else on the list's
// loop thread (or, without a loop, the creating thread).
class VXSerialPortList {
  public:
    // Called with each notification of the name it was added for.
    using Observer = std::function<void(const PortListNotification&)>;
    // What addObserver answers, for removeObserver.
    using ObserverId = std::uint64_t;

    // Before the first sharedPortList(): the loop that delivers changes
    // (held, not owned; it must outlive the process's use of the list;
    // nullptr: none, the list holds its first scan) and the registry
    // (default: udev). Answers false, changing nothing, once the list exists.
    static bool configure(RunLoop* loop, std::unique_ptr<PortRegistry> registry = nullptr);
    static VXSerialPortList& sharedPortList();
    // A walk over the live shared list.
    static VXPortEnumerator portEnumerator();
    // A walk over the shared list's ports of type, as they are now.
    static VXPortEnumerator portEnumeratorForSerialPortsOfType(const std::string& type);
    // The properties of the device named name, from the shared list's
    // registry (or a udev one when there is no list yet).
    static std::optional<PortProperties> registryProperties(const std::string& name);

    VXSerialPortList(const VXSerialPortList&) = delete;
    VXSerialPortList& operator=(const VXSerialPortList&) = delete;
    virtual ~VXSerialPortList();

    // The ports listed now, in the order found: how many, one by its place
    // (std::out_of_range past the end), all, those of one type.
    std::size_t count() const { return portList_.size(); }
    PortPointer objectAtIndex(std::size_t index) const { return portList_.at(index); }
    std::vector<PortPointer> serialPorts() const { return portList_; }
    std::vector<PortPointer> serialPortsOfType(const std::string& type) const;
    // First listed port with this path / name, or nullptr.
    PortPointer portByPath(const std::string& path) const;
    PortPointer objectWithName(const std::string& name) const;
    // Older name of serialPorts().
    std::vector<PortPointer> getPortList() const { return serialPorts(); }

    // name: one of the two notification names (others never come).
    ObserverId addObserver(const std::string& name, Observer observer);
    void removeObserver(ObserverId id);

    // Whether arrivals and removals are followed.
    bool followsChanges() const { return following_; }
    PortRegistry& registry() { return *registry_; }

  protected:
    // Fills the list from registry and starts following it on loop (if any).
    VXSerialPortList(std::unique_ptr<PortRegistry> registry, RunLoop* loop);

  private:
    void portsWereAdded(const PortRegistry::Batch& batch);
    void portsWereRemoved(const PortRegistry::Batch& batch);
    // The listed object for entry's path, or a new port.
    PortPointer portFor(const PortEntry& entry) const;
    void post(const std::string& name, const std::string& key, std::vector<PortPointer> ports);

    std::unique_ptr<PortRegistry> registry_;
    std::vector<PortPointer> portList_;
    std::map<ObserverId, std::pair<std::string, Observer>> observers_;
    ObserverId nextObserver_ = 1;
    bool following_ = false;
};

// @}

}  // namespace zorvan::serial
