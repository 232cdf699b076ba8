#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>

class QLabel;
class QMenu;
class QPlainTextEdit;

namespace zorvan::app {

// The driver's one window: a read-only log view, the Board and Help menus,
// and a status line with the board, its mode and the calibration in use.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // What the menus do; each runs on the GUI thread. An empty action leaves
    // its item out.
    struct Actions {
        std::function<void()> calibrate;      // signal or start the calibration tool
        std::function<void()> listDevices;    // log the serial ports (the port list)
        std::function<void()> rearmSoftKeys;  // btnCheck
    };

    explicit MainWindow(QWidget* parent = nullptr);

    // GUI thread only; other threads queue their lines with postLog().
    void appendLog(const QString& line);
    // Thread-safe: the line is appended on the GUI thread.
    void postLog(const QString& line);

    // Builds the menus: Board (the actions, then Quit, Ctrl+Q) and Help
    // (About, showing `aboutText`). Call once.
    void installMenus(const Actions& actions, const QString& aboutText);

    // GUI thread only: the three parts of the status line.
    void showStatus(const QString& board, const QString& mode, const QString& calibration);
    QString statusText() const;

    QMenu* boardMenu() const { return boardMenu_; }

  private:
    QPlainTextEdit* outputTextView_;
    QMenu* boardMenu_ = nullptr;
    QLabel* boardLabel_;
    QLabel* modeLabel_;
    QLabel* calibrationLabel_;
};

}  // namespace zorvan::app
