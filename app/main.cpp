#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QMenuBar>
#include <QMetaObject>

#include "app/board_driver.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/quit_signals.h"
#include "platform/qt_translations.h"

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

// Without a display the driver still runs (as a service, over ssh, in CI).
void useOffscreenWithoutDisplay() {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
}

}  // namespace

int main(int argc, char** argv) {
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
        case ParsedCommandLine::Action::Run:
            break;
    }
    const zorvan::app::CommandLine& options = parsed.options;

    useOffscreenWithoutDisplay();
    QApplication application(argc, argv);
    zorvan::app::MainWindow window;
    window.show();
    zorvan::app::QuitSignals quitSignals;

    zorvan::installTranslations(application);

    const bool logToStdout = options.logToStdout;
    zorvan::app::BoardDriver driver({
        .devicePath = options.devicePath.toStdString(),
        .pointer = options.pointer,
        .pointerLog = options.pointerLog.toStdString(),
        .log =
            [&window, logToStdout](std::string_view line) {
                if (logToStdout) {
                    std::printf("%.*s\n", static_cast<int>(line.size()), line.data());
                    std::fflush(stdout);
                }
                window.postLog(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
            },
        .requestQuit =
            [] { QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection); },
    });
    // The reader stops and the board is closed (its settings restored) before
    // the window goes away.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [&driver] { driver.stop(); });
    driver.controller().log("Zorvan " ZORVAN_VERSION ": board at " +
                            options.devicePath.toStdString());
    // The soft-key hold asks for calibration once; this re-arms it by hand.
    window.menuBar()
        ->addMenu(QObject::tr("&Board"))
        ->addAction(QObject::tr("Re-arm soft keys"), [&driver] { driver.btnCheck(); });
    driver.start();
    return application.exec();
}
