#include "serial/scripted_port_registry.h"

#include <algorithm>

namespace zorvan::serial {

bool ScriptedPortRegistry::startFollowing(RunLoop&, Listener listener, Batch& present) {
    present = present_;
    if (canFollow_) {
        listener_ = std::move(listener);
    }
    return canFollow_;
}

std::optional<PortProperties> ScriptedPortRegistry::properties(const std::string& name) {
    const bool present = std::any_of(present_.begin(), present_.end(),
                                     [&](const PortEntry& e) { return e.name == name; });
    const auto found = properties_.find(name);
    if (!present || found == properties_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void ScriptedPortRegistry::announceAdded(const Batch& batch) {
    present_.insert(present_.end(), batch.begin(), batch.end());
    if (listener_.added) {
        listener_.added(batch);
    }
}

void ScriptedPortRegistry::announceRemoved(const Batch& batch) {
    for (const PortEntry& gone : batch) {
        std::erase(present_, gone);
    }
    if (listener_.removed) {
        listener_.removed(batch);
    }
}

void ScriptedPortRegistry::setProperties(const std::string& name, PortProperties properties) {
    properties_[name] = std::move(properties);
}

}  // namespace zorvan::serial
