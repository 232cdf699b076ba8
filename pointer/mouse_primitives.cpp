#include "pointer/mouse_primitives.h"

#include <optional>

namespace zorvan {

namespace {

void post(MouseEventSink& sink, MouseEventType type, ScreenPoint p,
          std::optional<int> clickState = std::nullopt) {
    sink.post(MouseEvent{type, p, clickState});
}

}  // namespace

void MouseLeftDown(MouseEventSink& sink, ScreenPoint p) {
    post(sink, MouseEventType::LeftDown, p);
}

void MouseLeftUp(MouseEventSink& sink, ScreenPoint p) {
    post(sink, MouseEventType::LeftUp, p);
}

void MouseLeftMove(MouseEventSink& sink, ScreenPoint p) {
    post(sink, MouseEventType::LeftDragged, p);
}

void MouseRight(MouseEventSink& sink, ScreenPoint p) {
    post(sink, MouseEventType::LeftUp, p);
    post(sink, MouseEventType::RightDown, p);
    post(sink, MouseEventType::RightUp, p);
}

void MouseDoubleClick(MouseEventSink& sink, ScreenPoint p) {
    post(sink, MouseEventType::LeftUp, p);
    post(sink, MouseEventType::LeftDown, p, 2);
    post(sink, MouseEventType::LeftUp, p, 2);
}

}  // namespace zorvan
