#pragma once

#include <map>
#include <string>

#include "port_registry.h"

struct udev;
struct udev_device;
struct udev_monitor;

namespace zorvan::serial {

// @addtogroup portlist
// @{

// The serial devices as udev knows them: the tty devices that have a parent
// device (real ports; consoles and pseudo-terminals have none), less the
// placeholders the kernel makes for legacy ports that are absent (ttyS* whose
// "type" attribute is 0). A device with a /dev/cu.NAME link is named NAME with
// that link as its path; any other is named after its kernel device, with its
// device node as path. Changes come from a udev monitor (events udev has
// finished with, so links and properties are in place).
class UdevPortRegistry final : public PortRegistry {
  public:
    UdevPortRegistry();
    ~UdevPortRegistry() override;
    UdevPortRegistry(const UdevPortRegistry&) = delete;
    UdevPortRegistry& operator=(const UdevPortRegistry&) = delete;

    bool startFollowing(RunLoop& loop, Listener listener, Batch& present) override;
    Batch scan() override;
    std::optional<PortProperties> properties(const std::string& name) override;

    // Why changes can't be followed, after startFollowing answered false.
    const std::string& followFailure() const { return followFailure_; }

  private:
    void onMonitorReadable();

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    RunLoop* loop_ = nullptr;
    RunLoop::WatchId watch_ = 0;
    Listener listener_;
    // The devices reported so far, by sysfs path: a removal names the device
    // after it has left sysfs, and events queued while the first scan ran are
    // told apart from the devices it found.
    std::map<std::string, PortEntry> known_;
    std::string followFailure_;
};

// The entry for a udev tty device, or nullopt when it is no serial port.
std::optional<PortEntry> serialPortEntryOf(udev_device* device);

// @}

}  // namespace zorvan::serial
