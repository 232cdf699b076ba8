#pragma once

#include <optional>
#include <string_view>

#include "calibration/points.h"

namespace zorvan {

enum class MouseEventType { LeftDown, LeftUp, LeftDragged, RightDown, RightUp };

// One synthesized pointer event. The point is exactly what the caller handed
// over; clickState is set only on the two events of a double click.
struct MouseEvent {
    MouseEventType type = MouseEventType::LeftDown;
    ScreenPoint point;
    std::optional<int> clickState;
    friend bool operator==(const MouseEvent&, const MouseEvent&) = default;
};

// Where primitives post their events. Runs on the reader thread. A backend
// that cannot deliver an event drops it (saying so once on stderr) and the
// caller goes on with the rest of its sequence.
class MouseEventSink {
  public:
    virtual ~MouseEventSink() = default;
    virtual void post(const MouseEvent& event) = 0;
};

}  // namespace zorvan
