#include "platform/qt_alert_presenter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "tests/calibration/qt_test_application.h"

namespace zorvan {
namespace {

using Answer = AlertPresenter::Answer;

// Plays the user: once the alert is up, records what it shows and clicks the
// button with the text `press`.
class User : public QObject {
  public:
    explicit User(QString press) : press_(std::move(press)) {
        connect(&timer_, &QTimer::timeout, this, &User::look);
        timer_.start(5);
    }
    QString title, text;
    QStringList buttons;
    bool defaultIsOk = false;

  private:
    void look() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        timer_.stop();
        title = box->windowTitle();
        text = box->text();
        for (QAbstractButton* b : box->buttons()) {
            buttons << b->text();
        }
        defaultIsOk = box->defaultButton() != nullptr && box->defaultButton()->text() == "Go";
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == press_) {
                b->click();
            }
        }
    }
    QString press_;
    QTimer timer_;
};

// Runs the alert on a reader thread while this (GUI) thread serves events.
Answer askFromReader(QtAlertPresenter& presenter) {
    std::atomic<bool> done{false};
    std::optional<Answer> answer;
    std::thread reader([&] {
        answer = presenter.runModal("Title <b>", "Info & more", "Go", "Stay");
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    reader.join();  // the deadline only guards a broken test
    return answer.value();
}

TEST(QtAlertPresenter, ReaderWaitsForTheDefaultButtonClickedOnTheGuiThread) {
    testing::testApplication();
    QtAlertPresenter presenter(true);
    User user("Go");
    EXPECT_EQ(askFromReader(presenter), Answer::Default);
    EXPECT_EQ(user.title, "Title <b>");
    EXPECT_EQ(user.text, "Info & more");
    EXPECT_EQ(user.buttons.size(), 2);
    EXPECT_TRUE(user.buttons.contains("Go") && user.buttons.contains("Stay"));
    EXPECT_TRUE(user.defaultIsOk);
}

TEST(QtAlertPresenter, AlternateButtonAnswersAlternate) {
    testing::testApplication();
    QtAlertPresenter presenter(true);
    User user("Stay");
    EXPECT_EQ(askFromReader(presenter), Answer::Alternate);
}

TEST(QtAlertPresenter, OnTheGuiThreadTheAlertRunsDirectly) {
    testing::testApplication();
    QtAlertPresenter presenter(true);
    User user("Go");
    EXPECT_EQ(presenter.runModal("T", "I", "Go", "Stay"), Answer::Default);
    EXPECT_EQ(user.title, "T");
}

TEST(QtAlertPresenter, AReaderWaitingWhenTheApplicationQuitsGetsAnAnswer) {
    testing::testApplication();
    QtAlertPresenter presenter(true);
    Answer answer = Answer::Default;
    std::thread reader([&] { answer = presenter.runModal("T", "I", "Go", "Stay"); });
    // The event loop ends before it ever runs the posted alert.
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    reader.join();
    EXPECT_EQ(answer, Answer::Alternate);
    // The alert that never ran stays unshown when events flow again.
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(QtAlertPresenter, WithoutADisplayTheAlertIsAnsweredAtOnce) {
    testing::testApplication();
    if (QGuiApplication::platformName() != "offscreen") {
        GTEST_SKIP() << "needs the offscreen platform";
    }
    QtAlertPresenter offscreen;
    Answer answer = Answer::Default;
    std::thread reader([&] { answer = offscreen.runModal("T", "I", "Go", "Stay"); });
    reader.join();  // no event loop runs here: it must not wait for one
    EXPECT_EQ(answer, Answer::Alternate);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace zorvan
