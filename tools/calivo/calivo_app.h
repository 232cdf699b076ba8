#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "calibration/settings_store.h"
#include "tools/calivo/board_port.h"
#include "tools/calivo/calibration_session.h"
#include "tools/calivo/calivo_window.h"
#include "tools/calivo/driver_link.h"
#include "tools/calivo/driver_restart.h"
#include "tools/calivo/press_collector.h"
#include "tools/calivo/screen_step.h"
#include "tools/calivo/signal_relay.h"

class QScreen;

namespace zorvan::calivo {

// One interactive calibration: pauses the driver, reads the board itself,
// leads the user through the session on the board's screen, and on the way
// out saves (only an accepted result), closes the board, resumes the driver
// and withdraws its pid. Progress goes to stdout one line at a time, for
// scripts and logs; problems go to stderr.
class CalivoApp : public QObject {
    Q_OBJECT
  public:
    struct Options {
        std::string devicePath;      // empty: the driver's board, else the default
        std::int64_t driverPid = 0;  // the driver to pause; 0: the settings' "ZorvanPid"
        int dotCount = 0;            // 0: the user chooses
        bool softKeys = true;
        std::chrono::milliseconds idleLimit{60000};  // give up without a press
        // Whether the last synchronization reached the store; null: it did.
        std::function<bool()> stored;
        // Starts the driver again at the end if it quit meanwhile; null: never.
        DriverRestart* restart = nullptr;
        // Where the calibration is read and saved; null: the store given
        // (which always holds the driver link's pids).
        SettingsStore* calibration = nullptr;
        // The board's screen by name (--screen); empty: asked on the screens
        // when there are several, else the saved one or the primary.
        std::string screen;
    };

    // Exit statuses of the program.
    static constexpr int kSaved = 0;
    static constexpr int kNotSaved = 1;

    CalivoApp(SettingsStore& store, PeerProcesses& processes, std::int64_t ownPid, Options options);
    ~CalivoApp() override;

    // Everything up to the first target. Returns -1 while the calibration
    // runs (the event loop then ends with its status), or the exit status
    // when it cannot start.
    int start();

  private:
    // After the board's screen is known: the session and its window there.
    int beginCalibration(QScreen* screen);
    void onScreenChosen(QScreen* screen);
    void onPacket(const Packet& packet);
    void onAction(CalivoWindow::Action action);
    void onHangup();
    void onBoardLost(const std::string& why);
    void stepTaken(CalibrationSession::Notice notice);
    bool takeControlTouch(const Press& press);
    void saveGrid();
    void saveScreen();
    void showCountdown();
    void finish(int status);
    void showEnding(int status);
    void say(const std::string& line) const;
    void complain(const std::string& line) const;

    SettingsStore& store_;
    SettingsStore& calibration_;
    DriverLink driver_;
    Options options_;
    PressCollector presses_;
    std::unique_ptr<CalibrationSession> session_;
    std::unique_ptr<BoardPort> board_;
    std::unique_ptr<CalivoWindow> window_;
    std::unique_ptr<SignalRelay> signals_;
    std::unique_ptr<ScreenStep> screenStep_;
    std::string screenName_;     // the screen calibrated on
    bool screenChosen_ = false;  // by the screen step or --screen: saved as "Screen"
    QTimer idle_;
    QTimer clock_;  // the countdown of the idle limit
    std::string lastStep_;
    std::string lastControls_;
    std::string lostWhy_;
    bool gridSaved_ = false;
    bool finished_ = false;
};

}  // namespace zorvan::calivo
