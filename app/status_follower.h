#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <string>

#include "driver/board_status.h"
#include "driver/log_writer.h"

namespace zorvan::app {

class MainWindow;

// Keeps the window's status line in step with the board: looks at the
// reader's lock-free status on the GUI thread whenever the reader says it
// changed (no polling: an idle driver must let the GUI thread sleep), shows
// each change and logs the changes worth a line (pause, resume, mode,
// calibration).
class StatusFollower : public QObject {
    Q_OBJECT
  public:
    StatusFollower(std::function<BoardStatusSnapshot()> read, std::string devicePath,
                   MainWindow& window, LogWriter log, QObject* parent = nullptr);

    // Looks once now. GUI thread.
    void refresh();
    // Any thread: a look is due. Calls that come before the look is made
    // share it. The caller stops calling before this object goes.
    void changed();

  private:
    std::function<BoardStatusSnapshot()> read_;
    std::string devicePath_;
    MainWindow& window_;
    LogWriter log_;
    std::atomic<bool> lookQueued_{false};
    BoardStatusSnapshot shown_;
    bool first_ = true;
};

}  // namespace zorvan::app
