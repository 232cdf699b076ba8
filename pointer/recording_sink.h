#pragma once

#include <vector>

#include "pointer/mouse_event.h"

namespace zorvan {

// Keeps every posted event, in order. For tests.
class RecordingSink : public MouseEventSink {
  public:
    void post(const MouseEvent& event) override { events.push_back(event); }

    std::vector<MouseEvent> events;
};

}  // namespace zorvan
