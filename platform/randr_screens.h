#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/screen_layout.h"

namespace zorvan {

class XcbConnection;

// The monitors of an X server as RandR 1.5 lists them, asked afresh at every
// call: X11's own account of the desktop, in root-window pixels, with the
// names Qt gives its screens there. Qt's screens miss some changes (a
// monitor's new resolution, seen with Qt 6.4), so on X11 the driver chooses
// the board's screen from these. Any thread; calls are serialized.
class RandrScreens : public BoardScreenSource {
  public:
    // `displayName` empty: the server named by DISPLAY.
    explicit RandrScreens(const std::string& displayName = {});
    ~RandrScreens() override;
    RandrScreens(const RandrScreens&) = delete;
    RandrScreens& operator=(const RandrScreens&) = delete;

    // Connected to a server with RandR 1.5 or later.
    bool usable() const { return connection_ != nullptr; }
    std::vector<ScreenInfo> screens() const;
    BoardScreen boardScreen(const std::string& requested) const override;

  private:
    mutable std::mutex mutex_;
    std::unique_ptr<XcbConnection> connection_;
};

}  // namespace zorvan
