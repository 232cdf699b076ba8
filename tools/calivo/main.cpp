// Calivo.app: the calibration tool of the Zorvan whiteboard driver.

#include <unistd.h>

#include <QApplication>
#include <cstdio>

#include "platform/qsettings_store.h"
#include "platform/qt_translations.h"
#include "tools/calivo/calivo_app.h"
#include "tools/calivo/command_line.h"
#include "tools/calivo/display_check.h"
#include "tools/calivo/import_file.h"
#include "tools/calivo/posix_peer_processes.h"
#include "tools/calivo/stored_calibration.h"

namespace {

using zorvan::calivo::CommandLine;

int runCommand(const CommandLine& options, int argc, char** argv) {
    QCoreApplication application(argc, argv);
    zorvan::QSettingsStore store;
    zorvan::calivo::PosixPeerProcesses processes;
    zorvan::calivo::DriverLink driver(store, processes, ::getpid());
    const std::string file = options.file.toLocal8Bit().toStdString();
    switch (options.mode) {
        case CommandLine::Mode::Show:
            return zorvan::calivo::showCalibration(store, store.fileName().toStdString(), stdout);
        case CommandLine::Mode::Export:
            return zorvan::calivo::exportCalibration(store, file, stderr);
        case CommandLine::Mode::Import:
            return zorvan::calivo::importCalibration(
                store, [&store] { return store.lastSyncSucceeded(); }, driver, file,
                zorvan::calivo::readImportFile, stdout, stderr);
        case CommandLine::Mode::Calibrate:
            break;
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    using zorvan::calivo::ParsedCommandLine;
    QCoreApplication::setApplicationName("Calivo.app");
    QCoreApplication::setApplicationVersion(ZORVAN_VERSION);

    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const ParsedCommandLine parsed = zorvan::calivo::parseCommandLine(arguments);
    switch (parsed.action) {
        case ParsedCommandLine::Action::ShowHelp:
        case ParsedCommandLine::Action::ShowVersion:
            std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
            return 0;
        case ParsedCommandLine::Action::Fail:
            std::fprintf(stderr, "Calivo.app: %s\nTry 'Calivo.app --help'.\n",
                         parsed.text.toLocal8Bit().constData());
            return 2;
        case ParsedCommandLine::Action::Run:
            break;
    }
    const CommandLine& options = parsed.options;
    if (options.mode != CommandLine::Mode::Calibrate) {
        return runCommand(options, argc, argv);
    }

    std::string why;
    if (!zorvan::calivo::displayAvailable(why)) {
        // Checked before anything is paused or published: nothing to undo.
        std::fprintf(stderr, "Calivo.app: %s; the calibration needs a screen to show targets on\n",
                     why.c_str());
        return zorvan::calivo::CalivoApp::kNotSaved;
    }
    QApplication application(argc, argv);
    zorvan::installTranslations(application, "calivo");

    zorvan::QSettingsStore store;
    zorvan::calivo::PosixPeerProcesses processes;
    zorvan::calivo::DriverRestart restart(processes,
                                          QCoreApplication::applicationDirPath().toStdString());
    zorvan::calivo::CalivoApp calivo(store, processes, ::getpid(),
                                     {.devicePath = options.devicePath.toLocal8Bit().toStdString(),
                                      .driverPid = options.driverPid,
                                      .dotCount = options.dotCount,
                                      .softKeys = options.softKeys,
                                      .idleLimit = std::chrono::seconds(options.timeoutSeconds),
                                      .stored = [&store] { return store.lastSyncSucceeded(); },
                                      .restart = &restart});
    const int status = calivo.start();
    if (status >= 0) {
        return status;
    }
    return application.exec();
}
