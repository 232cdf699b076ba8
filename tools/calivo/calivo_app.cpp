#include "tools/calivo/calivo_app.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

#include "driver/app_controller.h"
#include "platform/qt_main_display.h"
#include "tools/calivo/board_screen.h"

namespace zorvan::calivo {

namespace {

QString noticeText(CalibrationSession::Notice notice) {
    using Notice = CalibrationSession::Notice;
    switch (notice) {
        case Notice::PressTooShort:
            return QCoreApplication::translate(
                "Calivo", "That press was too short. Hold the target a little longer.");
        case Notice::PressWandered:
            return QCoreApplication::translate(
                "Calivo", "That press moved. Hold still on the target until you lift.");
        case Notice::PressModeChanged:
            return QCoreApplication::translate(
                "Calivo", "The board changed between pen and touch during the press. Press again.");
        case Notice::DotWrongSide:
            return QCoreApplication::translate(
                "Calivo", "That was not this target. Press the centre of the red target.");
        case Notice::DotFarFromExpected:
            return QCoreApplication::translate(
                "Calivo",
                "That press is far from where the other targets put it. Press the red "
                "target again.");
        case Notice::None:
            break;
    }
    return {};
}

std::string noticeLine(CalibrationSession::Notice notice) {
    using Notice = CalibrationSession::Notice;
    switch (notice) {
        case Notice::PressTooShort:
            return "refused: press too short";
        case Notice::PressWandered:
            return "refused: press wandered";
        case Notice::PressModeChanged:
            return "refused: the board changed mode during the press";
        case Notice::DotWrongSide:
            return "refused: on the wrong side of an earlier target";
        case Notice::DotFarFromExpected:
            return "refused: far from where the other targets put it";
        case Notice::None:
            break;
    }
    return {};
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

CalivoApp::CalivoApp(SettingsStore& store, PeerProcesses& processes, std::int64_t ownPid,
                     Options options)
    : store_(store),
      driver_(store, processes, ownPid, options.driverPid),
      options_(std::move(options)) {
    idle_.setSingleShot(true);
    idle_.setInterval(static_cast<int>(options_.idleLimit.count()));
    connect(&idle_, &QTimer::timeout, this, [this] {
        session_->timeout();
        complain("no press for " + std::to_string(options_.idleLimit.count() / 1000) +
                 " s: the calibration stays as it was");
        stepTaken(CalibrationSession::Notice::None);
    });
}

CalivoApp::~CalivoApp() {
    if (!finished_) {
        finish(kNotSaved);
    }
}

void CalivoApp::say(const std::string& line) const {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void CalivoApp::complain(const std::string& line) const {
    std::fprintf(stderr, "Calivo.app: %s\n", line.c_str());
}

int CalivoApp::start() {
    if (const std::int64_t other = driver_.restartOtherTool()) {
        // One calibration at a time: two would split the board's packets.
        say("already running as pid " + std::to_string(other) + ": asked it to start over");
        // The driver belongs to that one: nothing here to resume or withdraw.
        // Nothing was stored here either, whatever that one goes on to do.
        finished_ = true;
        return kNotSaved;
    }
    signals_ = std::make_unique<SignalRelay>([this] { onHangup(); },
                                             [this] {
                                                 if (session_) {
                                                     session_->cancel();
                                                     stepTaken({});
                                                 }
                                             });
    driver_.publish();
    if (const std::int64_t paused = driver_.pauseDriver()) {
        say("driver " + std::to_string(paused) + " paused");
        // Let the reader finish the turn it may be in, so that it takes no
        // byte of the first press.
        QThread::msleep(50);
    }

    if (options_.devicePath.empty()) {
        options_.devicePath = driver_.driverDevice();
        if (options_.devicePath.empty()) {
            options_.devicePath = kDefaultBoardPath;
        }
    }

    QScreen* screen = boardScreen();
    const DisplaySize size = QtMainDisplay::pixelSizeOf(screen);
    if (screen == nullptr || size.width == 0 || size.height == 0) {
        complain("no screen to show the targets on");
        finish(kNotSaved);
        return kNotSaved;
    }

    board_ = std::make_unique<BoardPort>(
        BoardPort::Handlers{[this](const Packet& packet) { onPacket(packet); },
                            [this](const std::string& why) { onBoardLost(why); }});
    std::string error;
    if (!board_->open(options_.devicePath, error)) {
        complain(error);
        finish(kNotSaved);
        return kNotSaved;
    }
    say("board " + options_.devicePath + ", screen " + std::to_string(size.width) + " x " +
        std::to_string(size.height));

    session_ = std::make_unique<CalibrationSession>(
        CalibrationSession::Setup{size, options_.dotCount, options_.softKeys});
    window_ = std::make_unique<CalivoWindow>(
        *session_, [this](CalivoWindow::Action action) { onAction(action); });
    window_->showOn(screen);
    idle_.start();
    stepTaken(CalibrationSession::Notice::None);
    return -1;
}

void CalivoApp::onPacket(const Packet& packet) {
    if (finished_) {
        return;
    }
    if (packet[0] == Data_Head) {
        idle_.start();
    }
    const bool touch = presses_.touchMode();
    if (const std::optional<Press> press = presses_.push(packet)) {
        stepTaken(session_->press(*press));
    } else if (touch != presses_.touchMode()) {
        window_->refresh(presses_.touchMode(), {});
    }
}

void CalivoApp::onAction(CalivoWindow::Action action) {
    if (finished_) {
        return;
    }
    idle_.start();
    using Action = CalivoWindow::Action;
    switch (action) {
        case Action::Form2:
            session_->chooseForm(2);
            break;
        case Action::Form3:
            session_->chooseForm(3);
            break;
        case Action::Form5:
            session_->chooseForm(5);
            break;
        case Action::Skip:
            session_->skipKey();
            break;
        case Action::Redo:
            session_->redo();
            break;
        case Action::Keep:
            session_->keep();
            break;
        case Action::Cancel:
            session_->cancel();
            break;
    }
    stepTaken(CalibrationSession::Notice::None);
}

void CalivoApp::onHangup() {
    if (finished_ || !session_) {
        return;
    }
    say("asked to calibrate again: starting over");
    presses_.reset();
    session_->restart();
    idle_.start();
    window_->showOn(boardScreen());
    stepTaken(CalibrationSession::Notice::None);
}

void CalivoApp::onBoardLost(const std::string& why) {
    complain("lost the board at " + options_.devicePath + ": " + why);
    finish(kNotSaved);
}

void CalivoApp::stepTaken(CalibrationSession::Notice notice) {
    if (finished_) {
        return;
    }
    using Step = CalibrationSession::Step;
    const CalibrationSession& s = *session_;
    if (notice != CalibrationSession::Notice::None) {
        say(noticeLine(notice));
    }
    std::string line;
    QString shown = noticeText(notice);
    const ScreenPoint target = s.target();
    switch (s.step()) {
        case Step::ChooseForm:
            line = "choose a grid: 2, 3 or 5";
            break;
        case Step::Dot:
            line = "target " + std::to_string(s.dotIndex() + 1) + " of " +
                   std::to_string(s.dotTotal()) + " at " + number(target.x) + " " +
                   number(target.y);
            break;
        case Step::GridRejected:
            line = "the targets fail the spacing check: calibrate again or cancel";
            break;
        case Step::Verify:
            line = "check at " + number(target.x) + " " + number(target.y);
            break;
        case Step::VerifyMissed:
            line = "check missed: calibrate again or keep";
            break;
        case Step::SoftKey:
            line = "soft key " + std::to_string(s.softKeyNumber());
            break;
        case Step::Accepted:
        case Step::Cancelled:
        case Step::TimedOut:
            break;
    }
    if (s.verification() && lastStep_.rfind("check at", 0) == 0 && s.step() != Step::Verify) {
        say("check landed " + number(s.verification()->distance) + " px from the target (limit " +
            number(s.verification()->limit) + ")");
        if (shown.isEmpty() && s.step() != Step::VerifyMissed) {
            shown =
                QCoreApplication::translate("Calivo", "The check landed %1 pixels from the target.")
                    .arg(s.verification()->distance, 0, 'f', 0);
        }
        lastStep_.clear();
    }
    if (!line.empty() && line != lastStep_) {
        say(line);
        lastStep_ = line;
    }
    if (s.finished()) {
        finish(s.step() == Step::Accepted ? kSaved : kNotSaved);
        return;
    }
    window_->refresh(presses_.touchMode(), shown);
}

void CalivoApp::finish(int status) {
    if (finished_) {
        return;
    }
    finished_ = true;
    idle_.stop();
    if (status == kSaved && session_) {
        // Everything is in the store before the driver hears of it.
        saveCalibration(store_, session_->result());
        store_.synchronize();
        if (options_.stored && !options_.stored()) {
            complain("the calibration could not be stored; the stored one stays in use");
            status = kNotSaved;
        } else {
            say("saved " + std::to_string(session_->result().dots.size()) + " dots of DotCount " +
                std::to_string(session_->result().dotCount));
        }
    } else if (session_ && session_->step() == CalibrationSession::Step::Cancelled) {
        say("cancelled: the calibration stays as it was");
    } else if (session_ && session_->step() == CalibrationSession::Step::TimedOut) {
        say("timed out: the calibration stays as it was");
    }
    // The driver reads the board again only once we have let go of it.
    if (board_) {
        board_->close();
    }
    driver_.resumeDriver();
    driver_.withdraw();
    if (window_ && status == kSaved) {
        window_->refresh(false, {});
        // The result stays in view for a moment before the window goes.
        QTimer::singleShot(1200, qApp, [status] { QCoreApplication::exit(status); });
    } else {
        QMetaObject::invokeMethod(
            qApp, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
    }
}

}  // namespace zorvan::calivo
