#include "app/main_window.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QStatusBar>

namespace zorvan::app {

namespace {
// Bounds the memory of a log that runs for days.
constexpr int kLogLines = 5000;

QLabel* statusPart(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Framed, so the three parts read apart.
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setContentsMargins(4, 0, 4, 0);
    return label;
}
}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      outputTextView_(new QPlainTextEdit(this)),
      boardLabel_(statusPart(this)),
      modeLabel_(statusPart(this)),
      calibrationLabel_(statusPart(this)) {
    setWindowTitle("Zorvan");
    outputTextView_->setReadOnly(true);
    outputTextView_->setMaximumBlockCount(kLogLines);
    outputTextView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setCentralWidget(outputTextView_);
    // The board first and stretching: its path is the longest part.
    statusBar()->addWidget(boardLabel_, 1);
    statusBar()->addWidget(modeLabel_);
    statusBar()->addWidget(calibrationLabel_);
    statusBar()->setSizeGripEnabled(false);
    resize(640, 380);
}

void MainWindow::appendLog(const QString& line) {
    outputTextView_->appendPlainText(line);
}

void MainWindow::postLog(const QString& line) {
    // Queued with this window as context: dropped if the window is gone.
    QMetaObject::invokeMethod(
        this, [this, line] { appendLog(line); }, Qt::QueuedConnection);
}

void MainWindow::installMenus(const Actions& actions, const QString& aboutText) {
    boardMenu_ = menuBar()->addMenu(tr("&Board"));
    if (actions.calibrate) {
        boardMenu_->addAction(tr("&Calibrate…"), actions.calibrate);
    }
    if (actions.listDevices) {
        boardMenu_->addAction(tr("&List devices"), actions.listDevices);
    }
    if (actions.rearmSoftKeys) {
        boardMenu_->addAction(tr("&Re-arm soft keys"), actions.rearmSoftKeys);
    }
    boardMenu_->addSeparator();
    QAction* quit = boardMenu_->addAction(tr("&Quit"), qApp, &QCoreApplication::quit);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::ApplicationShortcut);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&About Zorvan"), this,
                    [this, aboutText] { QMessageBox::about(this, tr("About Zorvan"), aboutText); });
}

void MainWindow::showStatus(const QString& board, const QString& mode, const QString& calibration) {
    boardLabel_->setText(board);
    modeLabel_->setText(mode);
    calibrationLabel_->setText(calibration);
}

QString MainWindow::statusText() const {
    return boardLabel_->text() + " | " + modeLabel_->text() + " | " + calibrationLabel_->text();
}

}  // namespace zorvan::app
