#pragma once

#include <QObject>
#include <QTime>
#include <atomic>
#include <functional>
#include <string>

#include "app/status_words.h"
#include "driver/board_status.h"
#include "driver/log_writer.h"

namespace zorvan::app {

// Keeps the status panel and the tray in step with the board: looks at the
// reader's lock-free status on the GUI thread whenever the reader says it
// changed (no polling: an idle driver must let the GUI thread sleep), shows
// each change in plain words and logs the changes worth a line (pause,
// resume, mode, calibration).
class StatusFollower : public QObject {
    Q_OBJECT
  public:
    struct Sources {
        std::function<BoardStatusSnapshot()> read;
        // The screen the board covers now (GUI thread).
        std::function<std::string()> boardScreen;
        // Where the plain words go: the panel and the tray.
        std::function<void(const PlainStatus&)> present;
        LogWriter log;
    };

    explicit StatusFollower(Sources sources, QObject* parent = nullptr);

    // Looks once now. GUI thread.
    void refresh();
    // Looks again even if the board's status is the same (the board's screen
    // was chosen anew). GUI thread.
    void refreshAll();
    // Any thread: a look is due. Calls that come before the look is made
    // share it. The caller stops calling before this object goes.
    void changed();

  private:
    Sources sources_;
    std::atomic<bool> lookQueued_{false};
    BoardStatusSnapshot shown_;
    bool first_ = true;
    // When this run saw the calibration in use made (a new grid loaded
    // after another): invalid when it came from before.
    QTime calibratedAt_;
};

}  // namespace zorvan::app
