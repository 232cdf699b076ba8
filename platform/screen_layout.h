#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "driver/board_screen_source.h"

namespace zorvan {

// One screen of the desktop.
struct ScreenInfo {
    std::string name;    // as the window system names it: "HDMI-1", "DUMMY0"
    DesktopRect rect;    // its place on the desktop, desktop coordinates
    DisplaySize pixels;  // its size in device pixels
    bool primary = false;
    friend bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

// The board's screen among `screens`: the one named `requested`, else the
// primary, else the first. The placement's desktop is the bounding box of
// every screen. With no screens at all, everything is empty.
BoardScreen chooseBoardScreen(const std::vector<ScreenInfo>& screens, const std::string& requested);

// One line per screen: "NAME WxH+X+Y", then " (WxH pixels)" when the device
// pixels differ from the desktop size (a scaled Wayland output), " primary"
// and " board" for the screen the board covers with `requested`.
std::string screenListText(const std::vector<ScreenInfo>& screens, const std::string& requested);

}  // namespace zorvan
