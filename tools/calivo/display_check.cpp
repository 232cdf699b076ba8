#include "tools/calivo/display_check.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <string_view>

namespace zorvan::calivo {

namespace {

std::string_view env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string_view() : std::string_view(value);
}

bool xServerReachable(std::string& why) {
    if (env("DISPLAY").empty()) {
        why = "no display: DISPLAY is not set";
        return false;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    if (!ok) {
        why = "no display: cannot connect to the X server " + std::string(env("DISPLAY"));
    }
    return ok;
}

}  // namespace

bool displayAvailable(std::string& why) {
    const std::string_view choice = env("QT_QPA_PLATFORM");
    const std::string_view platform = choice.substr(0, choice.find_first_of(":;"));
    if (platform.empty()) {
        if (!env("WAYLAND_DISPLAY").empty()) {
            return true;
        }
        return xServerReachable(why);
    }
    if (platform == "xcb") {
        return xServerReachable(why);
    }
    if (platform.rfind("wayland", 0) == 0 && env("WAYLAND_DISPLAY").empty()) {
        why = "no display: WAYLAND_DISPLAY is not set";
        return false;
    }
    return true;
}

}  // namespace zorvan::calivo
