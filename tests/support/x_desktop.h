#pragma once

#include <chrono>
#include <optional>
#include <string>

// Xlib's Display and Window, without its macros.
struct _XDisplay;

namespace zorvan::test {

// What a user and a window manager do to a program's windows, done to the
// X server named `display` through Xlib and XTest.
class XDesktop {
  public:
    explicit XDesktop(const std::string& display);
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    bool ok() const { return display_ != nullptr; }

    // The first top-level window titled `title` (WM_NAME), mapped or not;
    // 0 when there is none within `timeout`.
    unsigned long findWindow(const std::string& title, std::chrono::milliseconds timeout) const;
    bool isMapped(unsigned long window) const;
    // Where the window's top left is on the root window.
    std::optional<std::pair<int, int>> origin(unsigned long window) const;
    // Whether some program holds the system tray (_NET_SYSTEM_TRAY_S0).
    bool trayPresent() const;
    // The tray's icon windows of the program named `title`, searched below
    // the tray; 0 when none within `timeout`.
    unsigned long findTrayIcon(std::chrono::milliseconds timeout) const;

    // What a window manager sends when the user closes a window (Alt+F4,
    // the title bar's close button): WM_DELETE_WINDOW.
    void sendDeleteWindow(unsigned long window) const;
    // A click of `button` (1 left, 3 right) at root position x, y.
    void click(int x, int y, unsigned button) const;
    // A key press and release; `key` is a keysym name ("q", "s", "2").
    void typeKey(const std::string& key) const;
    // The root window as a PNG at `path` (through xwd and convert); false when that failed.
    bool screenshot(const std::string& path) const;

  private:
    _XDisplay* display_ = nullptr;
    std::string name_;
};

}  // namespace zorvan::test
