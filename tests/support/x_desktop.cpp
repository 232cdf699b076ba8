#include "tests/support/x_desktop.h"

#include <cstdlib>
#include <thread>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace zorvan::test {

namespace {

using Clock = std::chrono::steady_clock;

std::string windowName(Display* d, Window w) {
    char* name = nullptr;
    std::string text;
    if (XFetchName(d, w, &name) != 0 && name != nullptr) {
        text = name;
        XFree(name);
    }
    return text;
}

std::vector<Window> children(Display* d, Window w) {
    Window root = 0, parent = 0;
    Window* list = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (XQueryTree(d, w, &root, &parent, &list, &count) != 0) {
        result.assign(list, list + count);
        if (list != nullptr) {
            XFree(list);
        }
    }
    return result;
}

// Depth-first: the first window below `w` (itself included) that `match` accepts.
template <typename Match>
Window search(Display* d, Window w, const Match& match) {
    if (match(w)) {
        return w;
    }
    for (const Window child : children(d, w)) {
        if (const Window found = search(d, child, match)) {
            return found;
        }
    }
    return 0;
}

}  // namespace

XDesktop::XDesktop(const std::string& display) : name_(display) {
    display_ = XOpenDisplay(display.c_str());
}

XDesktop::~XDesktop() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
}

unsigned long XDesktop::findWindow(const std::string& title,
                                   std::chrono::milliseconds timeout) const {
    const auto end = Clock::now() + timeout;
    do {
        for (const Window w : children(display_, DefaultRootWindow(display_))) {
            if (windowName(display_, w) == title) {
                return w;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < end);
    return 0;
}

bool XDesktop::isMapped(unsigned long window) const {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display_, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

std::optional<std::pair<int, int>> XDesktop::origin(unsigned long window) const {
    int x = 0, y = 0;
    Window child = 0;
    if (XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y,
                              &child) == 0) {
        return std::nullopt;
    }
    return std::make_pair(x, y);
}

bool XDesktop::trayPresent() const {
    const Atom selection = XInternAtom(display_, "_NET_SYSTEM_TRAY_S0", False);
    return XGetSelectionOwner(display_, selection) != 0;
}

unsigned long XDesktop::findTrayIcon(std::chrono::milliseconds timeout) const {
    const Atom selection = XInternAtom(display_, "_NET_SYSTEM_TRAY_S0", False);
    const Atom xembed = XInternAtom(display_, "_XEMBED_INFO", False);
    const auto end = Clock::now() + timeout;
    do {
        // The tray's own window owns the selection; the icons it embeds lie
        // in its top-level window, each carrying _XEMBED_INFO.
        const Window owner = XGetSelectionOwner(display_, selection);
        for (const Window top : children(display_, DefaultRootWindow(display_))) {
            if (owner == 0) {
                break;
            }
            const Window icon = search(display_, top, [&](Window w) {
                Atom type = 0;
                int format = 0;
                unsigned long items = 0, after = 0;
                unsigned char* data = nullptr;
                const bool has =
                    XGetWindowProperty(display_, w, xembed, 0, 2, False, AnyPropertyType, &type,
                                       &format, &items, &after, &data) == Success &&
                    type != 0;
                if (data != nullptr) {
                    XFree(data);
                }
                return has && isMapped(w);
            });
            if (icon != 0) {
                return icon;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < end);
    return 0;
}

void XDesktop::sendDeleteWindow(unsigned long window) const {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
}

void XDesktop::click(int x, int y, unsigned button) const {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display_, button, True, CurrentTime);
    XTestFakeButtonEvent(display_, button, False, 30);
    XFlush(display_);
}

void XDesktop::typeKey(const std::string& key) const {
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(key.c_str()));
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, 30);
    XFlush(display_);
}

bool XDesktop::screenshot(const std::string& path) const {
    const std::string command =
        "xwd -root -silent -display " + name_ + " | convert xwd:- png:" + path + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

}  // namespace zorvan::test
