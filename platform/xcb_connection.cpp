#include "platform/xcb_connection.h"

namespace zorvan {

XcbConnection::XcbConnection(const std::string& displayName) {
    int screenNumber = 0;
    xcb_ = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), &screenNumber);
    if (!healthy()) {
        return;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(xcb_));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        status_ = Status::NoSuchScreen;
        return;
    }
    root_ = screens.data->root;
    status_ = Status::Connected;
}

XcbConnection::~XcbConnection() {
    // xcb_connect never answers null; an errored connection is freed the same way.
    xcb_disconnect(xcb_);
}

bool XcbConnection::hasExtension(xcb_extension_t* extension) const {
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(xcb_, extension);
    return data != nullptr && data->present;
}

}  // namespace zorvan
