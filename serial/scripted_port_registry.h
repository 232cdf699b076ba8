#pragma once

#include "port_registry.h"

namespace zorvan::serial {

// @addtogroup portlist
// @{

// A registry played by hand: the devices present at start, then arrivals and
// removals announced by the caller, on the list's thread, at once.
class ScriptedPortRegistry final : public PortRegistry {
  public:
    // present: the devices there at start; canFollow false plays a system
    // whose changes can't be followed.
    explicit ScriptedPortRegistry(Batch present = {}, bool canFollow = true)
        : present_(std::move(present)), canFollow_(canFollow) {}

    bool startFollowing(RunLoop& loop, Listener listener, Batch& present) override;
    Batch scan() override { return present_; }
    std::optional<PortProperties> properties(const std::string& name) override;

    // Announce a batch (also an empty one) to the list; updates what is present.
    void announceAdded(const Batch& batch);
    void announceRemoved(const Batch& batch);
    void setProperties(const std::string& name, PortProperties properties);

  private:
    Batch present_;
    bool canFollow_;
    Listener listener_;
    std::map<std::string, PortProperties> properties_;
};

// @}

}  // namespace zorvan::serial
