#pragma once

#include <memory>
#include <string>

#include "pointer/mouse_event.h"
#include "pointer/once_notice.h"

namespace zorvan {

// Posts pointer events through the XTest extension of an X server: a move to
// the point plus the primary monitor's origin, then for presses and releases
// button 1 (left) or 3 (right). Each event is flushed at once.
//
// The connection is opened by the constructor and used from one thread at a
// time (the reader thread). If the server goes away the sink says so once and
// drops events from then on; the process is not ended.
class XtestSink : public MouseEventSink {
  public:
    struct Origin {
        int x = 0;
        int y = 0;
    };

    // `displayName` empty: the server named by DISPLAY. If no usable
    // connection can be made, connected() is false, failure() says why, and
    // every event is dropped with that reason said once on stderr.
    explicit XtestSink(const std::string& displayName = {});
    ~XtestSink() override;
    XtestSink(const XtestSink&) = delete;
    XtestSink& operator=(const XtestSink&) = delete;

    void post(const MouseEvent& event) override;

    bool connected() const;
    const std::string& failure() const { return failure_; }
    // The display string actually used (e.g. ":0").
    const std::string& displayName() const { return displayName_; }
    // Where the primary monitor starts in root-window coordinates: XRandR's
    // primary monitor, else its first one, else (0, 0).
    Origin origin() const { return origin_; }

  private:
    struct Connection;

    std::unique_ptr<Connection> connection_;
    std::string displayName_;
    std::string failure_;
    Origin origin_;
    OnceNotice unavailable_;
    OnceNotice lost_;
    OnceNotice badPoint_;
};

}  // namespace zorvan
