#include <libudev.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <sstream>
#include <utility>

#include "serial/udev_port_registry.h"

namespace zorvan::serial {

namespace {

constexpr const char* kSerialType = "IOSerialStream";
constexpr std::string_view kCalloutLinkPrefix = "/dev/cu.";

const char* orEmpty(const char* text) {
    return text != nullptr ? text : "";
}

// Calls visit for each tty device udev lists now, in its order.
void forEachTtyDevice(udev* context, const std::function<void(udev_device*)>& visit) {
    if (context == nullptr) {
        return;
    }
    udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate == nullptr) {
        return;
    }
    udev_enumerate_add_match_subsystem(enumerate, "tty");
    if (udev_enumerate_scan_devices(enumerate) >= 0) {
        udev_list_entry* item = nullptr;
        udev_list_entry_foreach(item, udev_enumerate_get_list_entry(enumerate)) {
            udev_device* device =
                udev_device_new_from_syspath(context, udev_list_entry_get_name(item));
            if (device != nullptr) {
                visit(device);
                udev_device_unref(device);
            }
        }
    }
    udev_enumerate_unref(enumerate);
}

}  // namespace

std::optional<PortEntry> serialPortEntryOf(udev_device* device) {
    const char* node = udev_device_get_devnode(device);
    if (node == nullptr || udev_device_get_parent(device) == nullptr) {
        return std::nullopt;
    }
    const std::string kernelName = orEmpty(udev_device_get_sysname(device));
    if (kernelName.starts_with("ttyS") &&
        std::string_view(orEmpty(udev_device_get_sysattr_value(device, "type"))) == "0") {
        return std::nullopt;
    }
    std::istringstream links(orEmpty(udev_device_get_property_value(device, "DEVLINKS")));
    for (std::string link; links >> link;) {
        if (link.starts_with(kCalloutLinkPrefix) && link.size() > kCalloutLinkPrefix.size()) {
            return PortEntry{link.substr(kCalloutLinkPrefix.size()), link, kSerialType};
        }
    }
    return PortEntry{kernelName, node, kSerialType};
}

UdevPortRegistry::UdevPortRegistry() : udev_(udev_new()) {}

UdevPortRegistry::~UdevPortRegistry() {
    if (loop_ != nullptr && watch_ != 0) {
        loop_->unwatch(watch_);
    }
    if (monitor_ != nullptr) {
        udev_monitor_unref(monitor_);
    }
    if (udev_ != nullptr) {
        udev_unref(udev_);
    }
}

PortRegistry::Batch UdevPortRegistry::scan() {
    Batch found;
    forEachTtyDevice(udev_, [&](udev_device* device) {
        if (auto entry = serialPortEntryOf(device)) {
            found.push_back(std::move(*entry));
        }
    });
    return found;
}

bool UdevPortRegistry::startFollowing(RunLoop& loop, Listener listener, Batch& present) {
    // The monitor receives before the scan runs: a device that arrives during
    // the scan is queued, and known_ drops it then if the scan found it too.
    if (udev_ == nullptr) {
        followFailure_ = "udev is not available: " + std::string(std::strerror(errno));
    } else if ((monitor_ = udev_monitor_new_from_netlink(udev_, "udev")) == nullptr) {
        followFailure_ = "no udev monitor can be made: " + std::string(std::strerror(errno));
    } else if (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr) < 0 ||
               udev_monitor_enable_receiving(monitor_) < 0) {
        followFailure_ = "the udev monitor cannot receive: " + std::string(std::strerror(errno));
        udev_monitor_unref(std::exchange(monitor_, nullptr));
    }
    present.clear();
    forEachTtyDevice(udev_, [&](udev_device* device) {
        if (auto entry = serialPortEntryOf(device)) {
            known_.emplace(orEmpty(udev_device_get_syspath(device)), *entry);
            present.push_back(std::move(*entry));
        }
    });
    if (monitor_ == nullptr) {
        return false;
    }
    listener_ = std::move(listener);
    loop_ = &loop;
    watch_ = loop.watchReadable(udev_monitor_get_fd(monitor_), [this] { onMonitorReadable(); });
    return true;
}

void UdevPortRegistry::onMonitorReadable() {
    // One batch per run of events of the same kind, in the order they came.
    Batch batch;
    bool batchIsArrival = true;
    auto deliver = [&] {
        if (!batch.empty()) {
            const auto& report = batchIsArrival ? listener_.added : listener_.removed;
            if (report) {
                report(batch);
            }
            batch.clear();
        }
    };
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        const std::string action = orEmpty(udev_device_get_action(device));
        const std::string syspath = orEmpty(udev_device_get_syspath(device));
        if (action == "add" && !known_.contains(syspath)) {
            if (auto entry = serialPortEntryOf(device)) {
                if (!batchIsArrival) {
                    deliver();
                }
                batchIsArrival = true;
                known_.emplace(syspath, *entry);
                batch.push_back(std::move(*entry));
            }
        } else if (action == "remove") {
            if (auto found = known_.find(syspath); found != known_.end()) {
                if (batchIsArrival) {
                    deliver();
                }
                batchIsArrival = false;
                batch.push_back(std::move(found->second));
                known_.erase(found);
            }
        }
        udev_device_unref(device);
    }
    deliver();
}

std::optional<PortProperties> UdevPortRegistry::properties(const std::string& name) {
    std::optional<PortProperties> answer;
    forEachTtyDevice(udev_, [&](udev_device* device) {
        if (answer) {
            return;
        }
        const auto entry = serialPortEntryOf(device);
        if (!entry || entry->name != name) {
            return;
        }
        answer.emplace();
        udev_list_entry* item = nullptr;
        udev_list_entry_foreach(item, udev_device_get_properties_list_entry(device)) {
            (*answer)[orEmpty(udev_list_entry_get_name(item))] =
                orEmpty(udev_list_entry_get_value(item));
        }
    });
    return answer;
}

}  // namespace zorvan::serial
