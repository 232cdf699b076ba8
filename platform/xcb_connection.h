#pragma once

#include <xcb/xcb.h>

#include <string>

namespace zorvan {

// A connection to one screen of an X server, closed when this goes away.
// XCB rather than Xlib: when the server goes away Xlib ends the process
// unless process-wide handlers are replaced, while an XCB connection just
// reports the error and turns further requests into no-ops.
class XcbConnection {
  public:
    enum class Status { Connected, CannotConnect, NoSuchScreen };

    // Connects to `displayName` (empty: the one DISPLAY names) and finds the
    // root window of the screen it names.
    explicit XcbConnection(const std::string& displayName);
    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    Status status() const { return status_; }
    // False once the server has gone (or when it never answered).
    bool healthy() const { return xcb_connection_has_error(xcb_) == 0; }
    xcb_connection_t* get() const { return xcb_; }
    xcb_window_t root() const { return root_; }
    bool hasExtension(xcb_extension_t* extension) const;

  private:
    xcb_connection_t* xcb_ = nullptr;
    xcb_window_t root_ = 0;
    Status status_ = Status::CannotConnect;
};

}  // namespace zorvan
