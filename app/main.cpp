#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QMetaObject>
#include <QSystemTrayIcon>

#include "app/board_driver.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/quit_signals.h"
#include "app/screen_menu.h"
#include "app/status_follower.h"
#include "app/status_panel.h"
#include "app/tray_icon.h"
#include "app/window_system.h"
#include "driver/run_flags.h"
#include "platform/qsettings_store.h"
#include "platform/qt_run_loop.h"
#include "platform/qt_translations.h"
#include "serial/vx_serial_port_list.h"

namespace {

// A launcher may start the driver with stdin, stdout or stderr closed. The
// descriptors it then opens itself (the board, X and Qt's wake-up pipes) would
// take those numbers, and its first line on stderr would land in one of them.
// /dev/null takes each free slot first, lowest number first.
void openDevNullOnClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so that every thread inherits it: only the
    // reader's wait takes the calibration tool's SIGUSR1 and SIGUSR2.
    zorvan::blockRunSignals();
    openDevNullOnClosedStandardDescriptors();
    using zorvan::app::ParsedCommandLine;
    QCoreApplication::setApplicationName("zorvan");
    QCoreApplication::setApplicationVersion(ZORVAN_VERSION);

    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const ParsedCommandLine parsed = zorvan::app::parseCommandLine(arguments);
    switch (parsed.action) {
        case ParsedCommandLine::Action::ShowHelp:
        case ParsedCommandLine::Action::ShowVersion:
            std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
            return 0;
        case ParsedCommandLine::Action::Fail:
            std::fprintf(stderr, "zorvan: %s\nTry 'zorvan --help'.\n",
                         parsed.text.toLocal8Bit().constData());
            return 2;
        case ParsedCommandLine::Action::ListDevices:
            // Needs no display: the list is read once and not followed.
            for (const std::string& line : zorvan::AppController::deviceListing(
                     zorvan::serial::VXSerialPortList::sharedPortList())) {
                std::printf("%s\n", line.c_str());
            }
            return 0;
        case ParsedCommandLine::Action::Run:
            break;
    }
    const zorvan::app::CommandLine& options = parsed.options;

    // A display that cannot be reached gives one line and a failure status,
    // not Qt's abort: a driver started before the session is ready is
    // restarted by whoever started it.
    zorvan::app::installQuietQtMessages();
    const zorvan::app::WindowSystemChoice windowSystem = zorvan::app::chooseWindowSystem(
        zorvan::app::currentWindowSystemEnvironment(), zorvan::app::realWindowSystemProbes());
    if (!windowSystem.error.empty()) {
        std::fprintf(stderr, "zorvan: %s\n", windowSystem.error.c_str());
        return 1;
    }
    if (!windowSystem.platform.empty()) {
        ::setenv("QT_QPA_PLATFORM", windowSystem.platform.c_str(), 1);
    }
    QApplication application(argc, argv);
    if (options.listScreens) {
        return zorvan::app::listScreens(options.screen.toStdString());
    }
    // Carries the serial library's reports: the port list's ports coming and
    // going, and any port's background reads and writes.
    const auto mainLoop = std::make_shared<zorvan::QtRunLoop>();
    zorvan::serial::RunLoop::setMainLoop(mainLoop);
    zorvan::serial::VXSerialPortList::configure(mainLoop.get());
    zorvan::app::MainWindow window;
    zorvan::app::QuitSignals quitSignals;

    zorvan::installTranslations(application);

    const bool logToStdout = options.logToStdout;
    const zorvan::LogWriter log = [&window, logToStdout](std::string_view line) {
        if (logToStdout) {
            std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
            std::fflush(stdout);
        }
        window.postLog(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    };
    log("Zorvan " ZORVAN_VERSION);
    zorvan::app::BoardDriver driver({
        .devicePath = options.devicePath.toStdString(),
        .pointer = options.pointer,
        .pointerLog = options.pointerLog.toStdString(),
        .screen = options.screen.toStdString(),
        .log = log,
        .requestQuit =
            [] {
                QMetaObject::invokeMethod(
                    qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
            },
        .requestExit =
            [](int code) {
                QMetaObject::invokeMethod(
                    qApp, [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
            },
        .mainLoop = mainLoop.get(),
    });
    if (!driver.startFailure().empty()) {
        std::fprintf(stderr, "zorvan: %s\n", driver.startFailure().c_str());
        return 1;
    }
    // The reader stops and the board is closed (its settings restored) before
    // the window goes away.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [&driver] { driver.stop(); });
    // The window only hides or minimises when closed; the driver ends by
    // Quit, Ctrl+Q or a signal, never because no window is left.
    application.setQuitOnLastWindowClosed(false);
    const bool trayPresent = QSystemTrayIcon::isSystemTrayAvailable();
    window.setCloseHides(trayPresent, log);
    window.setWindowIcon(zorvan::app::trayIconFor(zorvan::app::TrayLook::Connected));

    zorvan::app::StatusFollower* follower = nullptr;
    zorvan::app::ScreenMenu screenMenu(
        {
            .screens = [&driver] { return driver.screens(); },
            .boardScreen = [&driver] { return driver.boardScreenName(); },
            .commandLineScreen = options.screen.toStdString(),
            .choose =
                [&driver, &follower](const std::string& name) {
                    if (driver.chooseScreen(name) && follower != nullptr) {
                        follower->refreshAll();
                    }
                },
        },
        &window);
    const auto calibrate = [&driver] { driver.calibrate(); };
    // exit(), not quit(): Qt's quit() first asks every window to close, and
    // the window refuses (it only hides).
    const auto quit = [] { QCoreApplication::exit(0); };
    window.installMenus(
        {
            .calibrate = calibrate,
            .listDevices = [&driver] { driver.listDevices(); },
            // The soft-key hold asks for calibration once; this re-arms it by hand.
            .rearmSoftKeys = [&driver] { driver.btnCheck(); },
            .screenMenu = &screenMenu,
        },
        QObject::tr("<p><b>Zorvan %1</b></p><p>The driver for serial whiteboards: it reads the "
                    "board's packets and turns them into pointer input.</p>"
                    "<p>Board: %2<br>Settings: %3</p>")
            .arg(ZORVAN_VERSION, options.devicePath.toHtmlEscaped(),
                 zorvan::QSettingsStore().fileName().toHtmlEscaped()));
    window.statusPanel()->setCalibrate(calibrate);
    zorvan::app::TrayIcon tray({
        .showWindow = [&window] { window.showInFront(); },
        .toggleWindow = [&window] { window.toggleShown(); },
        .calibrate = calibrate,
        .screenMenu = &screenMenu,
        .quit = quit,
    });
    zorvan::app::StatusFollower status({
        .read = [&driver] { return driver.status(); },
        .boardScreen = [&driver] { return driver.boardScreenName(); },
        .present =
            [&window, &tray](const zorvan::app::PlainStatus& plain) {
                window.statusPanel()->present(plain);
                tray.present(plain);
            },
        .log = log,
    });
    follower = &status;
    driver.setStatusListener([&status] { status.changed(); });
    // At login the autostart entry asks for the tray icon alone; without a
    // tray to bring the window back from, it shows anyway.
    if (!options.hidden || !trayPresent) {
        window.show();
    }
    if (!trayPresent) {
        log(options.hidden
                ? "no system tray on this desktop: showing the window although --hidden was given"
                : "no system tray on this desktop: closing the window minimises it");
    }
    driver.start();
    return application.exec();
}
