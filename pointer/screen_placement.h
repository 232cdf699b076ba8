#pragma once

#include <cstdint>
#include <string>

#include "calibration/main_display.h"
#include "calibration/points.h"

namespace zorvan {

// A rectangle in desktop coordinates: X11 root-window pixels, or a Wayland
// compositor's logical pixels.
struct DesktopRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const DesktopRect&, const DesktopRect&) = default;
};

// Where the board's screen lies on the desktop that pointer input spans.
// Screen points are in the board's screen's device pixels (`pixels`, the size
// the calibration places its dots on); backends turn them into desktop
// coordinates through `screen` and, for an absolute device, `desktop`.
struct ScreenPlacement {
    DisplaySize pixels;   // the board's screen, device pixels
    DesktopRect screen;   // the board's screen on the desktop
    DesktopRect desktop;  // the bounding box of every screen
    friend bool operator==(const ScreenPlacement&, const ScreenPlacement&) = default;

    // A lone screen at the desktop's origin, one desktop unit per pixel.
    static ScreenPlacement alone(DisplaySize size) {
        const DesktopRect rect{0, 0, size.width, size.height};
        return {size, rect, rect};
    }
};

struct DesktopPoint {
    std::int64_t x = 0;
    std::int64_t y = 0;
    friend bool operator==(const DesktopPoint&, const DesktopPoint&) = default;
};

// The desktop pixel under a screen point: scaled from device pixels to
// desktop units (a no-op unless a Wayland output is scaled), truncated like
// every float-to-pixel step of the driver, kept on the board's screen (the
// mapping lets the right and bottom edges through inclusive, which would be
// the first column of the neighbour), then offset by the screen's origin.
// `point` must be finite.
DesktopPoint toDesktop(const ScreenPlacement& placement, ScreenPoint point);

}  // namespace zorvan

namespace zorvan {

// "WxH+X+Y", as xrandr writes a screen's place.
std::string rectText(const DesktopRect& rect);

}  // namespace zorvan
