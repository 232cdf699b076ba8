#pragma once

#include <optional>
#include <string_view>

#include "calibration/points.h"
#include "pointer/screen_placement.h"

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

// What an event does to the buttons, for backends that speak in button
// presses and releases: nothing for a drag (the button stays as it is).
struct ButtonChange {
    enum class Button { Left, Right } button;
    bool pressed;
};

constexpr std::optional<ButtonChange> buttonChange(MouseEventType type) {
    switch (type) {
        case MouseEventType::LeftDown:
            return ButtonChange{ButtonChange::Button::Left, true};
        case MouseEventType::LeftUp:
            return ButtonChange{ButtonChange::Button::Left, false};
        case MouseEventType::RightDown:
            return ButtonChange{ButtonChange::Button::Right, true};
        case MouseEventType::RightUp:
            return ButtonChange{ButtonChange::Button::Right, false};
        case MouseEventType::LeftDragged:
            break;
    }
    return std::nullopt;
}

// Where primitives post their events. Runs on the reader thread. A backend
// that cannot deliver an event drops it (saying so once on stderr) and the
// caller goes on with the rest of its sequence.
class MouseEventSink {
  public:
    virtual ~MouseEventSink() = default;
    virtual void post(const MouseEvent& event) = 0;
    // The board's screen has a new place or size on the desktop (after a
    // calibration load); later events land there. Backends that speak in
    // screen points (the log, the recorder) ignore it.
    virtual void place(const ScreenPlacement& placement) { (void)placement; }
};

}  // namespace zorvan
