#include "tools/calivo/calivo_app.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <cstdio>

#include "driver/app_controller.h"
#include "driver/board_screen_source.h"
#include "platform/qt_main_display.h"
#include "platform/qt_screens.h"
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
        case Notice::DotRetake:
            return QCoreApplication::translate(
                "Calivo",
                "Your last press was taken, but this target, touched earlier, does not fit the "
                "others: touch it again.");
        case Notice::DotsRestarted:
            return QCoreApplication::translate(
                "Calivo",
                "The targets disagree, so one touch was off its target. Starting again from "
                "target 1.");
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
        case Notice::DotRetake:
            return "taken; an earlier target disagrees with the others: asked again";
        case Notice::DotsRestarted:
            return "mis-touch: the targets disagree, starting over";
        case Notice::None:
            break;
    }
    return {};
}

const char* actionName(CalivoWindow::Action action, bool softKeys) {
    using Action = CalivoWindow::Action;
    switch (action) {
        case Action::Form2:
            return "grid 2";
        case Action::Form3:
            return "grid 3";
        case Action::Form5:
            return "grid 5";
        case Action::Skip:
            return "skip";
        case Action::Redo:
            return "calibrate again";
        case Action::Keep:
            return "keep";
        case Action::Cancel:
            return softKeys ? "finish" : "cancel";
    }
    return "";
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
      calibration_(options.calibration != nullptr ? *options.calibration : store),
      driver_(store, processes, ownPid, options.driverPid),
      options_(std::move(options)) {
    idle_.setSingleShot(true);
    idle_.setInterval(static_cast<int>(options_.idleLimit.count()));
    connect(&idle_, &QTimer::timeout, this, [this] {
        if (!session_) {
            // Still asking for the screen: nothing taken, nothing to keep.
            complain("no touch for " + std::to_string(options_.idleLimit.count() / 1000) +
                     " s: the calibration stays as it was");
            say("timed out: the calibration stays as it was");
            finish(kNotSaved);
            return;
        }
        session_->timeout();
        if (session_->step() != CalibrationSession::Step::Accepted && !gridSaved_) {
            complain("no press for " + std::to_string(options_.idleLimit.count() / 1000) +
                     " s: the calibration stays as it was");
        }
        stepTaken(CalibrationSession::Notice::None);
    });
    clock_.setInterval(250);
    connect(&clock_, &QTimer::timeout, this, [this] { showCountdown(); });
}

void CalivoApp::showCountdown() {
    if (!window_ || finished_) {
        return;
    }
    const int left = idle_.isActive() ? idle_.remainingTime() : -1;
    window_->setCountdown(left >= 0 && left <= 10000 ? (left + 999) / 1000 : 0);
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
                                                 } else if (screenStep_) {
                                                     say("cancelled: the calibration stays as "
                                                         "it was");
                                                     finish(kNotSaved);
                                                 }
                                             });
    driver_.publish();
    if (const std::int64_t paused = driver_.pauseDriver()) {
        say("driver " + std::to_string(paused) + " paused");
        if (options_.restart) {
            options_.restart->remember(paused);
        }
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

    if (QGuiApplication::screens().isEmpty()) {
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

    if (!options_.screen.empty()) {
        // The driver's own --screen, or the user's: no need to ask.
        QScreen* named = nullptr;
        for (QScreen* screen : QGuiApplication::screens()) {
            if (screen->name().toStdString() == options_.screen) {
                named = screen;
            }
        }
        if (named == nullptr) {
            complain("screen \"" + options_.screen +
                     "\" is not connected; calibrating on the board's screen as saved");
            return beginCalibration(boardScreen(calibration_));
        }
        screenChosen_ = true;
        return beginCalibration(named);
    }
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() < 2) {
        return beginCalibration(boardScreen(calibration_));
    }
    // Which one the board shows is asked on the screens themselves, from the
    // board: the teacher stands there, not at the keyboard.
    screenStep_ = std::make_unique<ScreenStep>(
        std::vector<QScreen*>(screens.begin(), screens.end()), boardScreen(calibration_),
        ScreenStep::Handlers{
            .chosen = [this](QScreen* screen) { onScreenChosen(screen); },
            .cancelled =
                [this] {
                    say("cancelled: the calibration stays as it was");
                    finish(kNotSaved);
                },
            .say = [this](const std::string& line) { say(line); },
        });
    idle_.start();
    screenStep_->start();
    return -1;
}

void CalivoApp::onScreenChosen(QScreen* screen) {
    screenChosen_ = true;
    // The touch that chose is not a press of the calibration.
    presses_.reset();
    // Once the step has let go of its views.
    QMetaObject::invokeMethod(
        this,
        [this, screen] {
            if (!finished_) {
                beginCalibration(screen);
            }
        },
        Qt::QueuedConnection);
}

int CalivoApp::beginCalibration(QScreen* screen) {
    const DisplaySize size = QtMainDisplay::pixelSizeOf(screen);
    if (screen == nullptr || size.width == 0 || size.height == 0) {
        complain("no screen to show the targets on");
        finish(kNotSaved);
        return kNotSaved;
    }
    screenName_ = screen->name().toStdString();
    say("board " + options_.devicePath + ", screen " + screenName_ + " " +
        std::to_string(size.width) + " x " + std::to_string(size.height));

    // Touches on the screen's buttons are placed by the calibration in use
    // until the new one has enough dots.
    bool storedSpacingOk = false;
    const CalibrationTables reference =
        driverTablesFor(readStoredCalibration(calibration_), size, storedSpacingOk);
    session_ = std::make_unique<CalibrationSession>(
        CalibrationSession::Setup{size, options_.dotCount, options_.softKeys, reference});
    window_ = std::make_unique<CalivoWindow>(
        *session_, [this](CalivoWindow::Action action) { onAction(action); });
    window_->showOn(screen);
    idle_.start();
    clock_.start();
    stepTaken(CalibrationSession::Notice::None);
    return -1;
}

void CalivoApp::onPacket(const Packet& packet) {
    if (finished_) {
        return;
    }
    if (packet[0] == Data_Head) {
        idle_.start();
        showCountdown();
    }
    const bool touch = presses_.touchMode();
    if (!session_) {
        // The screen step: any touch, wherever it lands, chooses.
        const bool wasPressing = presses_.pressing();
        const bool ended = presses_.push(packet).has_value();
        if (screenStep_ && !wasPressing && presses_.pressing()) {
            screenStep_->touchDown();
        }
        if (screenStep_ && ended) {
            screenStep_->touchUp();
        }
        return;
    }
    if (const std::optional<Press> press = presses_.push(packet)) {
        window_->showPress(-1);
        if (takeControlTouch(*press)) {
            return;
        }
        using Step = CalibrationSession::Step;
        const Step before = session_->step();
        const ScreenPoint target = session_->target();
        const CalibrationSession::Notice notice = session_->press(*press);
        if ((before == Step::Dot || before == Step::Verify) &&
            (notice == CalibrationSession::Notice::None ||
             notice == CalibrationSession::Notice::DotRetake)) {
            window_->showTaken(target);
        }
        stepTaken(notice);
    } else if (presses_.pressing()) {
        window_->showPress(static_cast<double>(presses_.samples()) /
                           std::max(1, presses_.limits().minSamples));
    } else if (touch != presses_.touchMode()) {
        window_->refresh(presses_.touchMode(), {});
    }
}

bool CalivoApp::takeControlTouch(const Press& press) {
    if (press.samples == 0 || session_->finished()) {
        return false;
    }
    // With the driver paused every touch comes here raw: one that lands on
    // a button, placed by the best calibration at hand, is that button.
    const std::optional<CalivoWindow::Action> action =
        window_->actionAt(session_->toScreen(press.median));
    if (!action) {
        return false;
    }
    say(std::string("touched ") +
        actionName(*action, session_->step() == CalibrationSession::Step::SoftKey));
    onAction(*action);
    return true;
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
    window_->showOn(boardQScreen(screenName_));
    stepTaken(CalibrationSession::Notice::None);
}

void CalivoApp::onBoardLost(const std::string& why) {
    lostWhy_ = why;
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
    if (s.step() == Step::SoftKey && !gridSaved_) {
        saveGrid();
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
    if (s.finished()) {
        if (!line.empty() && line != lastStep_) {
            say(line);
        }
        finish(s.step() == Step::Accepted ? kSaved : kNotSaved);
        return;
    }
    window_->refresh(presses_.touchMode(), shown);
    // Where the buttons are, for scripts that touch them from the board, and
    // before the prompt, which is the last line of every step.
    std::string controls;
    for (const CalivoWindow::Control& control : window_->controls()) {
        controls += std::string(controls.empty() ? "controls: " : "; ") +
                    actionName(control.action, s.step() == Step::SoftKey) + " " +
                    std::to_string(control.area.x()) + " " + std::to_string(control.area.y()) +
                    " " + std::to_string(control.area.width()) + " " +
                    std::to_string(control.area.height());
    }
    if (controls != lastControls_) {
        say(controls);
        lastControls_ = controls;
    }
    // After a refusal the same prompt again, so that a script sees what is asked.
    if (!line.empty() && (line != lastStep_ || notice != CalibrationSession::Notice::None)) {
        say(line);
        lastStep_ = line;
    }
}

void CalivoApp::saveGrid() {
    // The grid and its check are a calibration already: what follows is
    // optional and must not be able to lose it. The driver stays paused.
    CalibrationRecord grid = session_->result();
    grid.touchKeys = {};
    grid.penKeys = {};
    saveCalibration(calibration_, grid);
    saveScreen();
    calibration_.synchronize();
    if (options_.stored && !options_.stored()) {
        complain("the calibration could not be stored yet; trying again at the end");
        return;
    }
    gridSaved_ = true;
    say("grid saved: " + std::to_string(grid.dots.size()) + " dots of DotCount " +
        std::to_string(grid.dotCount) + ", before the soft keys");
}

void CalivoApp::saveScreen() {
    // The calibration holds only on the screen it was made on; the driver
    // follows this at its next load.
    if (screenChosen_ && !screenName_.empty()) {
        calibration_.setStringForKey(screenName_, kScreenKey);
    }
}

void CalivoApp::finish(int status) {
    if (finished_) {
        return;
    }
    finished_ = true;
    idle_.stop();
    clock_.stop();
    using Step = CalibrationSession::Step;
    const std::optional<Step> step =
        session_ ? std::optional<Step>(session_->step()) : std::nullopt;
    // A grid saved before the soft keys stays, whatever ends the run; keys
    // taken before a lost board are kept with it.
    if (step == Step::Accepted || (gridSaved_ && step == Step::SoftKey)) {
        // Everything is in the store before the driver hears of it.
        saveCalibration(calibration_, session_->result());
        saveScreen();
        calibration_.synchronize();
        if (options_.stored && !options_.stored()) {
            complain("the calibration could not be stored; the stored one stays in use");
            status = gridSaved_ ? kSaved : kNotSaved;
        } else {
            status = kSaved;
            const CalibrationRecord& record = session_->result();
            std::string line = "saved " + std::to_string(record.dots.size()) +
                               " dots of DotCount " + std::to_string(record.dotCount);
            if (session_->verification()) {
                line += ", check " + number(session_->verification()->distance) + " px off";
            }
            say(line);
        }
    } else if (gridSaved_) {
        status = kSaved;
        say("stopped: the grid saved before stays");
    } else if (step == Step::Cancelled) {
        say("cancelled: the calibration stays as it was");
    } else if (step == Step::TimedOut) {
        say("timed out: the calibration stays as it was");
    }
    // The driver reads the board again only once we have let go of it.
    if (board_) {
        board_->close();
    }
    if (!driver_.resumeDriver() && options_.restart) {
        // The driver that launched us from its alert has quit as it does.
        if (const std::string line = options_.restart->restartIfGone(); !line.empty()) {
            line.rfind("cannot", 0) == 0 ? complain(line) : say(line);
        }
    }
    driver_.withdraw();
    if (screenStep_ && !window_) {
        screenStep_.reset();
    }
    if (window_) {
        showEnding(status);
        // What happened stays in view for a moment before the window goes.
        QTimer::singleShot(1500, qApp, [status] { QCoreApplication::exit(status); });
    } else {
        QMetaObject::invokeMethod(
            qApp, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
    }
}

void CalivoApp::showEnding(int status) {
    using Step = CalibrationSession::Step;
    const Step step = session_->step();
    const auto tr = [](const char* text) { return QCoreApplication::translate("Calivo", text); };
    QString title;
    QString detail;
    if (status == kSaved && (step == Step::Accepted || step == Step::SoftKey)) {
        const CalibrationRecord& record = session_->result();
        const GridForm form = *gridForm(record.dotCount);
        title = tr("Calibration saved: %1 \u00d7 %2").arg(form.columns).arg(form.rows);
        if (session_->verification()) {
            title += tr(", check %1 px off").arg(session_->verification()->distance, 0, 'f', 0);
        }
        detail = tr("The driver takes it up as soon as the board is quiet.");
        QStringList left;
        for (std::size_t slot = 0; slot < kStoredSoftKeys.size(); ++slot) {
            if (!record.touchKeys[slot] && !record.penKeys[slot]) {
                left << QString::number(kStoredSoftKeys[slot]);
            }
        }
        if (options_.softKeys && !left.isEmpty()) {
            detail += "\n" + tr("Soft keys %1 stay as they were.").arg(left.join(", "));
        }
    } else if (status == kSaved) {
        title = tr("Stopped: the calibration saved before stays");
    } else if (!lostWhy_.empty()) {
        title = tr("The board was lost: the calibration is as it was");
        detail = QString::fromStdString(lostWhy_);
    } else if (step == Step::TimedOut) {
        title = tr("Nothing touched for %1 s: the calibration is as it was")
                    .arg(options_.idleLimit.count() / 1000);
    } else if (step == Step::Accepted) {
        title = tr("The calibration could not be saved: the stored one stays in use");
    } else {
        title = tr("Cancelled: the calibration is as it was");
    }
    window_->showEnding(title, detail, status == kSaved);
}

}  // namespace zorvan::calivo
