#pragma once

#include "pointer/mouse_event.h"

namespace zorvan {

// Passes every event on and remembers whether the left button is left
// pressed, and where the last event put the pointer, so that a press the
// board never ends can be let go. Reader thread only.
class ButtonTrackingSink : public MouseEventSink {
  public:
    explicit ButtonTrackingSink(MouseEventSink& next) : next_(next) {}

    void post(const MouseEvent& event) override {
        if (const auto change = buttonChange(event.type);
            change && change->button == ButtonChange::Button::Left) {
            leftHeld_ = change->pressed;
        }
        lastPoint_ = event.point;
        next_.post(event);
    }

    bool leftHeld() const { return leftHeld_; }
    ScreenPoint lastPoint() const { return lastPoint_; }

  private:
    MouseEventSink& next_;
    bool leftHeld_ = false;
    ScreenPoint lastPoint_;
};

}  // namespace zorvan
