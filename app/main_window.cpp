#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/status_panel.h"

namespace zorvan::app {

namespace {
// Bounds the memory of a log that runs for days.
constexpr int kLogLines = 5000;
}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), outputTextView_(new QPlainTextEdit), statusPanel_(new StatusPanel) {
    setWindowTitle("Zorvan");
    outputTextView_->setReadOnly(true);
    outputTextView_->setMaximumBlockCount(kLogLines);
    outputTextView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(statusPanel_);
    auto* line = new QFrame(central);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    layout->addWidget(outputTextView_, 1);
    setCentralWidget(central);
    resize(640, 420);
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
    if (actions.screenMenu != nullptr) {
        boardMenu_->addMenu(actions.screenMenu);
    }
    boardMenu_->addSeparator();
    // exit(), not quit(): quit() would first ask this window to close, which
    // it refuses.
    QAction* quit = boardMenu_->addAction(tr("&Quit"), qApp, [] { QCoreApplication::exit(0); });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::ApplicationShortcut);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&About Zorvan"), this,
                    [this, aboutText] { QMessageBox::about(this, tr("About Zorvan"), aboutText); });
}

void MainWindow::setCloseHides(bool hides, LogWriter log) {
    closeHides_ = hides;
    closeLog_ = std::move(log);
    statusPanel_->setQuitHint(!hides);
}

void MainWindow::showInFront() {
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    raise();
    activateWindow();
}

void MainWindow::toggleShown() {
    if (isVisible() && !isMinimized() && isActiveWindow()) {
        hide();
    } else {
        showInFront();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Teachers close windows that look like logs; the board must keep
    // working. Quitting is a menu item.
    event->ignore();
    if (closeHides_) {
        hide();
    } else {
        showMinimized();
    }
    if (closeLog_) {
        closeLog_(closeHides_ ? "window closed: hidden; the board keeps working (the tray icon "
                                "shows the window again and quits)"
                              : "window closed: minimised; the board keeps working (Board > Quit "
                                "or Ctrl+Q quits)");
    }
}

}  // namespace zorvan::app
