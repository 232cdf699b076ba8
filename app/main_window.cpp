#include "app/main_window.h"

#include <QFontDatabase>
#include <QMetaObject>
#include <QPlainTextEdit>

namespace zorvan::app {

namespace {
// Bounds the memory of a log that runs for days.
constexpr int kLogLines = 5000;
}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), outputTextView_(new QPlainTextEdit(this)) {
    setWindowTitle("Zorvan");
    outputTextView_->setReadOnly(true);
    outputTextView_->setMaximumBlockCount(kLogLines);
    outputTextView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setCentralWidget(outputTextView_);
    resize(560, 360);
}

void MainWindow::appendLog(const QString& line) {
    outputTextView_->appendPlainText(line);
}

void MainWindow::postLog(const QString& line) {
    // Queued with this window as context: dropped if the window is gone.
    QMetaObject::invokeMethod(
        this, [this, line] { appendLog(line); }, Qt::QueuedConnection);
}

}  // namespace zorvan::app
