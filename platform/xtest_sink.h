#pragma once

#include <memory>
#include <string>

#include "pointer/mouse_event.h"
#include "pointer/once_notice.h"

namespace zorvan {

class XcbConnection;

// Posts pointer events through the XTest extension of an X server: a move to
// the point on the board's screen (see toDesktop; on X11 desktop coordinates
// are root-window pixels), then for presses and releases button 1 (left) or 3
// (right). Each event is flushed at once.
//
// The connection is opened by the constructor and used from one thread at a
// time (the reader thread). If the server goes away the sink says so once and
// drops events from then on; the process is not ended.
class XtestSink : public MouseEventSink {
  public:
    // `displayName` empty: the server named by DISPLAY. If no usable
    // connection can be made, connected() is false, failure() says why, and
    // every event is dropped with that reason said once on stderr.
    explicit XtestSink(const std::string& displayName = {}, const ScreenPlacement& placement = {});
    ~XtestSink() override;
    XtestSink(const XtestSink&) = delete;
    XtestSink& operator=(const XtestSink&) = delete;

    void post(const MouseEvent& event) override;
    void place(const ScreenPlacement& placement) override { placement_ = placement; }

    bool connected() const;
    const std::string& failure() const { return failure_; }
    // The display string actually used (e.g. ":0").
    const std::string& displayName() const { return displayName_; }
    const ScreenPlacement& placement() const { return placement_; }

  private:
    std::unique_ptr<XcbConnection> connection_;
    std::string displayName_;
    std::string failure_;
    ScreenPlacement placement_;
    OnceNotice unavailable_;
    OnceNotice lost_;
    OnceNotice badPoint_;
};

}  // namespace zorvan
