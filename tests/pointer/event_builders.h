#pragma once

#include <optional>

#include "pointer/mouse_event.h"

namespace zorvan::test {

inline MouseEvent ev(MouseEventType type, float x, float y,
                     std::optional<int> clickState = std::nullopt) {
    return MouseEvent{type, ScreenPoint{x, y}, clickState};
}
inline MouseEvent LeftDown(float x, float y) {
    return ev(MouseEventType::LeftDown, x, y);
}
inline MouseEvent LeftUp(float x, float y) {
    return ev(MouseEventType::LeftUp, x, y);
}
inline MouseEvent Drag(float x, float y) {
    return ev(MouseEventType::LeftDragged, x, y);
}
inline MouseEvent RightDown(float x, float y) {
    return ev(MouseEventType::RightDown, x, y);
}
inline MouseEvent RightUp(float x, float y) {
    return ev(MouseEventType::RightUp, x, y);
}
inline MouseEvent LeftDown2(float x, float y) {
    return ev(MouseEventType::LeftDown, x, y, 2);
}
inline MouseEvent LeftUp2(float x, float y) {
    return ev(MouseEventType::LeftUp, x, y, 2);
}

}  // namespace zorvan::test
