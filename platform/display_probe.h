#pragma once

#include <string>

namespace zorvan {

// Whether the X server `display` (a DISPLAY value) accepts a connection now.
// On failure `why` says what the connection reported.
bool xServerReachable(const std::string& display, std::string& why);

// Whether the Wayland compositor `display` (a WAYLAND_DISPLAY value: a
// socket name in $XDG_RUNTIME_DIR, or an absolute path) accepts a connection.
bool waylandReachable(const std::string& display, std::string& why);

}  // namespace zorvan
