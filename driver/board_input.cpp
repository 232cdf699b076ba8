#include "driver/board_input.h"

#include <utility>

#include "calibration/wb_coordinate.h"
#include "pointer/mouse_primitives.h"

namespace zorvan {

BoardInput::BoardInput(MouseEventSink& sink, std::function<void()> startCalivo,
                       GestureEngine::Clock clock)
    : buttons_(sink),
      gestures_([this](float x, float y) { return WBCoordinate(tables_, x, y); }, tables_,
                decoderState_.bTouch, buttons_, std::move(clock)),
      decoder_(decoderState_, tables_, buttons_,
               {[this](float x, float y, bool down) { gestures_.BoardMouse(x, y, down); },
                [this](float x, float y) { return WBCoordinate(tables_, x, y); },
                std::move(startCalivo)}) {}

void BoardInput::releaseHeldContact() {
    gestures_.forgetContact();
    if (buttons_.leftHeld()) {
        MouseLeftUp(buttons_, buttons_.lastPoint());
    }
}

}  // namespace zorvan
