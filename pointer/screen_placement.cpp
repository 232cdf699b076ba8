#include "pointer/screen_placement.h"

#include <cmath>

namespace zorvan {

namespace {

std::int64_t axis(float value, std::uint32_t pixels, std::int32_t origin, std::uint32_t extent) {
    double v = static_cast<double>(value);
    if (pixels != 0 && pixels != extent) {
        v = v * extent / pixels;
    }
    // An unknown extent (no screen measured yet) bounds nothing but the origin.
    const double last = extent == 0 ? 2147483647.0 : static_cast<double>(extent) - 1.0;
    v = v <= 0.0 ? 0.0 : (v >= last ? last : v);
    return origin + static_cast<std::int64_t>(v);
}

}  // namespace

std::string rectText(const DesktopRect& rect) {
    return std::to_string(rect.width) + "x" + std::to_string(rect.height) +
           (rect.x < 0 ? "" : "+") + std::to_string(rect.x) + (rect.y < 0 ? "" : "+") +
           std::to_string(rect.y);
}

DesktopPoint toDesktop(const ScreenPlacement& placement, ScreenPoint point) {
    return {axis(point.x, placement.pixels.width, placement.screen.x, placement.screen.width),
            axis(point.y, placement.pixels.height, placement.screen.y, placement.screen.height)};
}

}  // namespace zorvan
