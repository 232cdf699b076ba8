#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "driver/board_status.h"
#include "driver/log_writer.h"

class QTimer;

namespace zorvan::app {

class MainWindow;

// Keeps the window's status line in step with the board: looks at the
// reader's lock-free status a few times a second on the GUI thread, shows
// each change and logs the changes worth a line (pause, resume, mode,
// calibration).
class StatusFollower : public QObject {
    Q_OBJECT
  public:
    StatusFollower(std::function<BoardStatusSnapshot()> read, std::string devicePath,
                   MainWindow& window, LogWriter log, QObject* parent = nullptr);

    // Looks once now; the timer calls it too.
    void refresh();

  private:
    std::function<BoardStatusSnapshot()> read_;
    std::string devicePath_;
    MainWindow& window_;
    LogWriter log_;
    QTimer* timer_;
    BoardStatusSnapshot shown_;
    bool first_ = true;
};

}  // namespace zorvan::app
