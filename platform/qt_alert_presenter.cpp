#include "platform/qt_alert_presenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>

namespace zorvan {

namespace {

bool platformIsInteractive() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

AlertPresenter::Answer runBox(const std::string& title, const std::string& info,
                              const std::string& ok, const std::string& cancel) {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(info));
    box.setTextFormat(Qt::PlainText);  // the message is shown verbatim
    box.setIcon(QMessageBox::Warning);
    QPushButton* defaultButton = box.addButton(QString::fromStdString(ok), QMessageBox::AcceptRole);
    QPushButton* alternateButton =
        box.addButton(QString::fromStdString(cancel), QMessageBox::RejectRole);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(alternateButton);
    box.exec();
    return box.clickedButton() == defaultButton ? AlertPresenter::Answer::Default
                                                : AlertPresenter::Answer::Alternate;
}

}  // namespace

QtAlertPresenter::QtAlertPresenter()
    : QtAlertPresenter(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
                       platformIsInteractive()) {}

QtAlertPresenter::QtAlertPresenter(bool interactive) : interactive_(interactive) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QObject::connect(app, &QCoreApplication::aboutToQuit,
                         [quitting = quitting_] { quitting->store(true); });
    }
}

AlertPresenter::Answer QtAlertPresenter::answerUnattended(const char* why) {
    if (!toldUnattended_.exchange(true)) {
        std::fprintf(stderr,
                     "zorvan: the stored calibration failed its check, but %s; calibrate with "
                     "Calivo.app\n",
                     why);
    }
    return Answer::Alternate;
}

AlertPresenter::Answer QtAlertPresenter::runModal(const std::string& title, const std::string& info,
                                                  const std::string& ok,
                                                  const std::string& cancel) {
    QCoreApplication* app = QCoreApplication::instance();
    if (qobject_cast<QApplication*>(app) == nullptr) {
        return answerUnattended("there is no application window to ask in");
    }
    if (!interactive_) {
        return answerUnattended("there is no display to show the alert on");
    }
    if (QThread::currentThread() == app->thread()) {
        return runBox(title, info, ok, cancel);
    }

    // The promise lives in the posted call: if the call is dropped unrun (the
    // application ends first), destroying it breaks the promise and the
    // waiting reader gets an answer instead of hanging. A call that runs after
    // its reader gave up shows nothing.
    struct Pending {
        std::promise<Answer> promise;
        std::atomic<bool> abandoned{false};
    };
    auto pending = std::make_shared<Pending>();
    std::future<Answer> answer = pending->promise.get_future();
    const bool posted = QMetaObject::invokeMethod(
        app,
        [pending, title, info, ok, cancel] {
            if (!pending->abandoned.load()) {
                pending->promise.set_value(runBox(title, info, ok, cancel));
            }
        },
        Qt::QueuedConnection);
    if (!posted) {
        return answerUnattended("the alert could not be shown");
    }
    while (answer.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (quitting_->load()) {
            pending->abandoned.store(true);
            return answerUnattended("the application is quitting");
        }
    }
    try {
        return answer.get();
    } catch (const std::future_error&) {
        return answerUnattended("the application ended before the alert was answered");
    }
}

}  // namespace zorvan
