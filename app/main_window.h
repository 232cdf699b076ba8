#pragma once

#include <QMainWindow>

class QPlainTextEdit;

namespace zorvan::app {

// The driver's one window: a read-only log view.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);

    // GUI thread only; other threads queue their lines with postLog().
    void appendLog(const QString& line);
    // Thread-safe: the line is appended on the GUI thread.
    void postLog(const QString& line);

  private:
    QPlainTextEdit* outputTextView_;
};

}  // namespace zorvan::app
