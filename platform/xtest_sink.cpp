#include "platform/xtest_sink.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace zorvan {

namespace {

// Xlib ends the process on a lost connection: its I/O error handler exits,
// and so does the default exit handler behind it. A driver must outlive its X
// server, so for our own connections the process-wide handler returns and the
// display's exit handler only marks the connection broken. Other connections
// in the process keep the handler they had.
std::mutex ownDisplaysMutex;
std::vector<Display*> ownDisplays;
XIOErrorHandler previousIOErrorHandler = nullptr;

int onIOError(Display* display) {
    {
        std::lock_guard lock(ownDisplaysMutex);
        if (std::find(ownDisplays.begin(), ownDisplays.end(), display) != ownDisplays.end()) {
            return 0;
        }
    }
    return previousIOErrorHandler != nullptr ? previousIOErrorHandler(display) : 0;
}

void onConnectionLost(Display* /*display*/, void* userData) {
    *static_cast<bool*>(userData) = true;
}

void adopt(Display* display, bool* broken) {
    static std::once_flag installed;
    std::call_once(installed, [] { previousIOErrorHandler = XSetIOErrorHandler(onIOError); });
    {
        std::lock_guard lock(ownDisplaysMutex);
        ownDisplays.push_back(display);
    }
    XSetIOErrorExitHandler(display, onConnectionLost, broken);
}

void release(Display* display) {
    std::lock_guard lock(ownDisplaysMutex);
    ownDisplays.erase(std::remove(ownDisplays.begin(), ownDisplays.end(), display),
                      ownDisplays.end());
}

XtestSink::Origin primaryOrigin(Display* display) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) ||
        !XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 5)) {
        return {};
    }
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    if (monitors == nullptr) {
        return {};
    }
    XtestSink::Origin origin;
    if (count > 0) {
        const XRRMonitorInfo* chosen = &monitors[0];
        for (int i = 0; i < count; ++i) {
            if (monitors[i].primary) {
                chosen = &monitors[i];
                break;
            }
        }
        origin = {chosen->x, chosen->y};
    }
    XRRFreeMonitors(monitors);
    return origin;
}

// Truncated to whole pixels and kept well inside int, so the offset by the
// origin cannot overflow.
int toPixel(float v) {
    constexpr float kLimit = 1 << 24;
    return static_cast<int>(v < -kLimit ? -kLimit : (v > kLimit ? kLimit : v));
}

}  // namespace

// The X connection and whether Xlib has reported it broken. The flag is set
// from Xlib's I/O error path on the thread that was using the connection.
struct XtestSink::Connection {
    Display* display = nullptr;
    bool broken = false;

    ~Connection() {
        if (display != nullptr) {
            XCloseDisplay(display);
            release(display);
        }
    }
};

XtestSink::XtestSink(const std::string& displayName) {
    const char* env = std::getenv("DISPLAY");
    displayName_ = !displayName.empty() ? displayName : (env != nullptr ? env : "");
    if (displayName_.empty()) {
        failure_ = "xtest: DISPLAY is not set";
        return;
    }
    auto connection = std::make_unique<Connection>();
    connection->display = XOpenDisplay(displayName_.c_str());
    if (connection->display == nullptr) {
        failure_ = "xtest: cannot connect to the X server \"" + displayName_ + "\"";
        return;
    }
    adopt(connection->display, &connection->broken);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(connection->display, &eventBase, &errorBase, &major, &minor)) {
        failure_ = "xtest: the X server \"" + displayName_ + "\" has no XTest extension";
        return;
    }
    origin_ = primaryOrigin(connection->display);
    connection_ = std::move(connection);
}

XtestSink::~XtestSink() = default;

bool XtestSink::connected() const {
    return connection_ != nullptr && !connection_->broken;
}

void XtestSink::post(const MouseEvent& event) {
    if (!connection_) {
        unavailable_.say(failure_ + "; pointer events are dropped");
        return;
    }
    if (connection_->broken) {
        lost_.say("xtest: lost the connection to the X server \"" + displayName_ +
                  "\"; pointer events are dropped");
        return;
    }
    Display* display = connection_->display;
    if (std::isfinite(event.point.x) && std::isfinite(event.point.y)) {
        XTestFakeMotionEvent(display, DefaultScreen(display), toPixel(event.point.x) + origin_.x,
                             toPixel(event.point.y) + origin_.y, CurrentTime);
    } else {
        // Still post the button, so no press is left without its release.
        badPoint_.say("xtest: a pointer event has no valid position; its move is skipped");
    }
    switch (event.type) {
        case MouseEventType::LeftDragged:
            break;
        case MouseEventType::LeftDown:
            XTestFakeButtonEvent(display, 1, True, CurrentTime);
            break;
        case MouseEventType::LeftUp:
            XTestFakeButtonEvent(display, 1, False, CurrentTime);
            break;
        case MouseEventType::RightDown:
            XTestFakeButtonEvent(display, 3, True, CurrentTime);
            break;
        case MouseEventType::RightUp:
            XTestFakeButtonEvent(display, 3, False, CurrentTime);
            break;
    }
    XFlush(display);
    if (connection_->broken) {
        lost_.say("xtest: lost the connection to the X server \"" + displayName_ +
                  "\"; pointer events are dropped");
    }
}

}  // namespace zorvan
