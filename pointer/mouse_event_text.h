#pragma once

#include <string>
#include <string_view>

#include "pointer/mouse_event.h"

namespace zorvan {

// "left-down", "left-up", "left-drag", "right-down" or "right-up".
std::string_view mouseEventTypeName(MouseEventType type);

// One event as the event log writes it, without a newline:
// `<type> <x> <y>[ click=<n>]`, x and y in the shortest decimal that reads
// back as the same float (e.g. "left-down 512.25 300.5 click=2").
std::string formatMouseEvent(const MouseEvent& event);

}  // namespace zorvan
