#include "pointer/mouse_event_text.h"

#include <array>
#include <charconv>

namespace zorvan {

namespace {

template <typename T>
void append(std::string& out, T value) {
    // Enough for any float in shortest form and any int.
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

}  // namespace

std::string_view mouseEventTypeName(MouseEventType type) {
    switch (type) {
        case MouseEventType::LeftDown:
            return "left-down";
        case MouseEventType::LeftUp:
            return "left-up";
        case MouseEventType::LeftDragged:
            return "left-drag";
        case MouseEventType::RightDown:
            return "right-down";
        case MouseEventType::RightUp:
            return "right-up";
    }
    return "unknown";
}

std::string formatMouseEvent(const MouseEvent& event) {
    std::string line(mouseEventTypeName(event.type));
    line += ' ';
    append(line, event.point.x);
    line += ' ';
    append(line, event.point.y);
    if (event.clickState) {
        line += " click=";
        append(line, *event.clickState);
    }
    return line;
}

}  // namespace zorvan
