#pragma once

#include <QObject>
#include <functional>
#include <mutex>
#include <vector>

#include "calibration/main_display.h"
#include "driver/board_screen_source.h"
#include "platform/screen_layout.h"

class QScreen;

namespace zorvan {

// Every screen of the desktop as Qt reports it, kept as a snapshot that any
// thread may read: the reader thread chooses the board's screen from it at
// each calibration load. Made and updated on the GUI thread, following
// screens that come, go, move, resize or become primary.
class QtMainDisplay : public QObject, public MainDisplay, public BoardScreenSource {
    Q_OBJECT
  public:
    // Needs a QGuiApplication; call on the GUI thread.
    explicit QtMainDisplay(QObject* parent = nullptr);

    // The primary screen in device pixels. Any thread.
    DisplaySize pixelSize() const override;
    // The board's screen; see chooseBoardScreen. Any thread.
    BoardScreen boardScreen(const std::string& requested) const override;
    // The snapshot. Any thread.
    std::vector<ScreenInfo> screens() const;

    // Reads the screens again (GUI thread). Done on every change.
    void refresh();
    // Called on the GUI thread after a refresh that changed the snapshot.
    void setOnChange(std::function<void()> onChange) { onChange_ = std::move(onChange); }

    // A screen's size in device pixels; 0 x 0 for none.
    static DisplaySize pixelSizeOf(const QScreen* screen);

  private:
    void follow(QScreen* screen);

    mutable std::mutex mutex_;
    std::vector<ScreenInfo> screens_;  // guarded by mutex_
    std::function<void()> onChange_;
};

}  // namespace zorvan
