#include "platform/xtest_sink.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/xcb_connection.h"

namespace zorvan {

namespace {

// Kept within X's 16-bit coordinates.
std::int16_t toCoordinate(std::int64_t at) {
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(at, INT16_MIN, INT16_MAX));
}

}  // namespace

XtestSink::XtestSink(const std::string& displayName, const ScreenPlacement& placement)
    : placement_(placement) {
    const char* env = std::getenv("DISPLAY");
    displayName_ = !displayName.empty() ? displayName : (env != nullptr ? env : "");
    if (displayName_.empty()) {
        failure_ = "xtest: DISPLAY is not set";
        return;
    }
    auto connection = std::make_unique<XcbConnection>(displayName_);
    if (connection->status() == XcbConnection::Status::CannotConnect) {
        failure_ = "xtest: cannot connect to the X server \"" + displayName_ + "\"";
        return;
    }
    if (connection->status() == XcbConnection::Status::NoSuchScreen) {
        failure_ = "xtest: the X server \"" + displayName_ + "\" has no such screen";
        return;
    }
    if (!connection->hasExtension(&xcb_test_id)) {
        failure_ = "xtest: the X server \"" + displayName_ + "\" has no XTest extension";
        return;
    }
    connection_ = std::move(connection);
}

XtestSink::~XtestSink() = default;

bool XtestSink::connected() const {
    return connection_ != nullptr && connection_->healthy();
}

void XtestSink::post(const MouseEvent& event) {
    if (!connection_) {
        unavailable_.say(failure_ + "; pointer events are dropped");
        return;
    }
    xcb_connection_t* c = connection_->get();
    if (xcb_connection_has_error(c)) {
        lost_.say("xtest: lost the connection to the X server \"" + displayName_ +
                  "\"; pointer events are dropped");
        return;
    }
    if (std::isfinite(event.point.x) && std::isfinite(event.point.y)) {
        const DesktopPoint at = toDesktop(placement_, event.point);
        xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, connection_->root(),
                            toCoordinate(at.x), toCoordinate(at.y), 0);
    } else {
        // Still post the button, so no press is left without its release.
        badPoint_.say("xtest: a pointer event has no valid position; its move is skipped");
    }
    if (const std::optional<ButtonChange> change = buttonChange(event.type)) {
        xcb_test_fake_input(c, change->pressed ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE,
                            change->button == ButtonChange::Button::Left ? 1 : 3, XCB_CURRENT_TIME,
                            XCB_NONE, 0, 0, 0);
    }
    if (xcb_flush(c) <= 0 || xcb_connection_has_error(c)) {
        lost_.say("xtest: lost the connection to the X server \"" + displayName_ +
                  "\"; pointer events are dropped");
    }
}

}  // namespace zorvan
