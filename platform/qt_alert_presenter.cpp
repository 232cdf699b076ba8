#include "platform/qt_alert_presenter.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QThread>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <future>
#include <memory>
#include <mutex>

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

// Carries alert requests from reader threads to the GUI thread. Requests
// travel under a std::mutex and the GUI thread is woken through an eventfd
// that a QSocketNotifier watches there. Nothing of Qt's is handed between the
// threads: Qt's own cross-thread queue does order such hand-overs, but in a
// form that ThreadSanitizer cannot see, which would hide real races behind
// reported ones.
class AlertRelay : public QObject {
  public:
    struct Request {
        std::string title, info, ok, cancel;
        std::promise<AlertPresenter::Answer> promise;
        // The reader stopped waiting: the box is not shown any more.
        std::atomic<bool> abandoned{false};
    };

    // GUI thread.
    AlertRelay() : wakeup_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (wakeup_ >= 0) {
            notifier_ = new QSocketNotifier(wakeup_, QSocketNotifier::Read, this);
            QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { serve(); });
        }
    }
    ~AlertRelay() override {
        delete notifier_;
        if (wakeup_ >= 0) {
            ::close(wakeup_);
        }
    }
    AlertRelay(const AlertRelay&) = delete;
    AlertRelay& operator=(const AlertRelay&) = delete;

    // Any thread. False if the GUI thread cannot be woken.
    bool post(std::shared_ptr<Request> request) {
        if (wakeup_ < 0) {
            return false;
        }
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(request));
        }
        const std::uint64_t one = 1;
        return ::write(wakeup_, &one, sizeof one) == sizeof one;
    }

  private:
    // GUI thread: shows the waiting requests, oldest first.
    void serve() {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(wakeup_, &count, sizeof count);
        for (;;) {
            std::shared_ptr<Request> request;
            {
                std::lock_guard lock(mutex_);
                if (queue_.empty()) {
                    return;
                }
                request = std::move(queue_.front());
                queue_.pop_front();
            }
            if (!request->abandoned.load()) {
                request->promise.set_value(
                    runBox(request->title, request->info, request->ok, request->cancel));
            }
        }
    }

    int wakeup_;
    QSocketNotifier* notifier_ = nullptr;
    std::mutex mutex_;
    // Requests never served (the application ended first) are destroyed with
    // the relay, which breaks their promises: no reader hangs.
    std::deque<std::shared_ptr<Request>> queue_;
};

QtAlertPresenter::~QtAlertPresenter() = default;

QtAlertPresenter::QtAlertPresenter()
    : QtAlertPresenter(qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr &&
                       platformIsInteractive()) {}

QtAlertPresenter::QtAlertPresenter(bool interactive)
    : interactive_(interactive), relay_(std::make_unique<AlertRelay>()) {
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

    auto pending = std::make_shared<AlertRelay::Request>();
    pending->title = title;
    pending->info = info;
    pending->ok = ok;
    pending->cancel = cancel;
    std::future<Answer> answer = pending->promise.get_future();
    if (!relay_->post(pending)) {
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
