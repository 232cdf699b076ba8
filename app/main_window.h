#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>

#include "driver/log_writer.h"

class QCloseEvent;
class QMenu;
class QPlainTextEdit;

namespace zorvan::app {

class StatusPanel;

// The driver's one window: the status panel above a read-only log view, and
// the Board and Help menus. Closing it never ends the driver: it hides the
// window when the desktop has a tray to bring it back from, and minimises
// it otherwise; Quit (Board menu, Ctrl+Q, the tray) ends it.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // What the menus do; each runs on the GUI thread. An empty action leaves
    // its item out.
    struct Actions {
        std::function<void()> calibrate;      // signal or start the calibration tool
        std::function<void()> listDevices;    // log the serial ports (the port list)
        std::function<void()> rearmSoftKeys;  // btnCheck
        QMenu* screenMenu = nullptr;          // Board ▸ Screen, not owned
    };

    explicit MainWindow(QWidget* parent = nullptr);

    // GUI thread only; other threads queue their lines with postLog().
    void appendLog(const QString& line);
    // Thread-safe: the line is appended on the GUI thread.
    void postLog(const QString& line);

    // Builds the menus: Board (the actions, then Quit, Ctrl+Q) and Help
    // (About, showing `aboutText`). Call once.
    void installMenus(const Actions& actions, const QString& aboutText);

    StatusPanel* statusPanel() const { return statusPanel_; }
    QMenu* boardMenu() const { return boardMenu_; }

    // Whether closing hides the window (a tray icon brings it back) or
    // minimises it (no tray: the panel then says how to quit); `log` is
    // told which, at each close.
    void setCloseHides(bool hides, LogWriter log = {});
    // Shows the window in front, or hides it when it is in front already.
    void toggleShown();
    void showInFront();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QPlainTextEdit* outputTextView_;
    StatusPanel* statusPanel_;
    QMenu* boardMenu_ = nullptr;
    bool closeHides_ = false;
    LogWriter closeLog_;
};

}  // namespace zorvan::app
