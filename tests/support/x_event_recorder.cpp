#include "tests/support/x_event_recorder.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>

#include <chrono>

namespace zorvan::test {

namespace {
Display* dpy(void* p) {
    return static_cast<Display*>(p);
}
}  // namespace

XEventRecorder::XEventRecorder(const std::string& display) : display_(display) {
    control_ = XOpenDisplay(display.c_str());
    data_ = XOpenDisplay(display.c_str());
    if (!control_ || !data_) {
        return;
    }
    int major = 0;
    int minor = 0;
    if (!XRecordQueryVersion(dpy(control_), &major, &minor)) {
        return;
    }
    XRecordRange* range = XRecordAllocRange();
    range->device_events.first = ButtonPress;
    range->device_events.last = MotionNotify;
    XRecordClientSpec clients = XRecordAllClients;
    context_ = XRecordCreateContext(dpy(control_), 0, &clients, 1, &range, 1);
    XFree(range);
    XSync(dpy(control_), False);
    if (!context_) {
        return;
    }
    ok_ = true;
    thread_ = std::thread([this] { run(); });
}

XEventRecorder::~XEventRecorder() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    if (context_) {
        XRecordDisableContext(dpy(control_), context_);
        XRecordFreeContext(dpy(control_), context_);
        XSync(dpy(control_), False);
    }
    if (data_) {
        XCloseDisplay(dpy(data_));
    }
    if (control_) {
        XCloseDisplay(dpy(control_));
    }
}

void XEventRecorder::run() {
    auto callback = [](XPointer self, XRecordInterceptData* data) {
        auto* recorder = reinterpret_cast<XEventRecorder*>(self);
        if (data->category == XRecordFromServer && data->data_len >= 8) {
            const auto* event = reinterpret_cast<const xEvent*>(data->data);
            const int type = event->u.u.type & 0x7F;
            XInputEvent recorded{XInputEvent::Kind::Motion, 0, event->u.keyButtonPointer.rootX,
                                 event->u.keyButtonPointer.rootY};
            if (type == ButtonPress || type == ButtonRelease) {
                recorded.kind =
                    type == ButtonPress ? XInputEvent::Kind::Press : XInputEvent::Kind::Release;
                recorded.button = event->u.u.detail;
            }
            if (type == ButtonPress || type == ButtonRelease || type == MotionNotify) {
                std::lock_guard lock(recorder->mutex_);
                recorder->events_.push_back(recorded);
            }
        }
        XRecordFreeData(data);
    };
    if (!XRecordEnableContextAsync(dpy(data_), context_, callback,
                                   reinterpret_cast<XPointer>(this))) {
        return;
    }
    while (!stop_) {
        XRecordProcessReplies(dpy(data_));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

std::vector<XInputEvent> XEventRecorder::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

}  // namespace zorvan::test
