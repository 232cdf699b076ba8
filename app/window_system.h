#pragma once

#include <functional>
#include <string>

namespace zorvan::app {

// What the environment says about the window system, read before Qt starts.
struct WindowSystemEnvironment {
    std::string qpaPlatform;     // QT_QPA_PLATFORM, the user's own choice
    std::string display;         // DISPLAY
    std::string waylandDisplay;  // WAYLAND_DISPLAY
};

// Looks that cost a connection; injected so the choice is tested without any.
struct WindowSystemProbes {
    std::function<bool(const std::string& display, std::string& why)> xReachable;
    std::function<bool(const std::string& display, std::string& why)> waylandReachable;
    std::function<bool()> waylandPluginInstalled;
};

struct WindowSystemChoice {
    std::string platform;  // the Qt platform to use; empty: the user's own
    std::string error;     // not empty: no window can be opened; the line to say
};

// Picks the Qt platform the driver's window can really use, so that an
// unreachable display gives one clear line instead of Qt's abort:
// - QT_QPA_PLATFORM set: the user's choice stands;
// - WAYLAND_DISPLAY set: wayland when its plugin is installed and the
//   compositor answers, else X when DISPLAY answers (Xwayland), else an error;
// - DISPLAY set: xcb when the server answers, else an error;
// - neither: offscreen, for a driver run as a service or over ssh.
WindowSystemChoice chooseWindowSystem(const WindowSystemEnvironment& environment,
                                      const WindowSystemProbes& probes);

// The environment of this process and the real probes.
WindowSystemEnvironment currentWindowSystemEnvironment();
WindowSystemProbes realWindowSystemProbes();

// Keeps Qt's own messages off stdout and stderr (a quiet start shows only the
// driver's lines) unless QT_LOGGING_RULES or QT_DEBUG_PLUGINS asks for them;
// Qt's critical messages still pass, marked as Qt's. A fatal one (the
// platform cannot start after all) ends the driver with one line and status 1
// instead of an abort.
void installQuietQtMessages();

}  // namespace zorvan::app
