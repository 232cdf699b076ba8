// Calivo.app: the calibration tool of the Zorvan whiteboard driver.

#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "calibration/fallback_settings_store.h"
#include "platform/machine_wide_settings.h"
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

// The settings the tool works on: this account's file with the machine-wide
// one behind it, as the driver reads them; with --system the machine-wide
// file itself. The driver's pid and ours are always this account's.
struct Stores {
    zorvan::QSettingsStore own;
    zorvan::QSettingsStore machineWide{QString::fromStdString(zorvan::machineWideSettingsPath()),
                                       zorvan::QSettingsStore::WhenMissing::Quiet};
    zorvan::FallbackSettingsStore inUse{own, machineWide};

    zorvan::SettingsStore& calibration(bool system) {
        return system ? static_cast<zorvan::SettingsStore&>(machineWide) : inUse;
    }
    std::function<bool()> stored(bool system) {
        zorvan::QSettingsStore& file = system ? machineWide : own;
        return [&file] { return file.lastSyncSucceeded(); };
    }
    std::string ownFile() { return QFile::encodeName(own.fileName()).toStdString(); }
    std::string machineWideFile() {
        return QFile::encodeName(machineWide.fileName()).toStdString();
    }
};

// What --show says about where the calibration it prints comes from.
std::vector<std::string> whereShown(Stores& stores, bool system) {
    if (system) {
        return {"machine-wide, in " + stores.machineWideFile() +
                ": every account without a calibration of its own uses it"};
    }
    stores.inUse.synchronize();
    std::vector<std::string> where;
    switch (stores.inUse.calibrationOrigin()) {
        case zorvan::CalibrationOrigin::Own:
            where.push_back("in use: this account's own, in " + stores.ownFile());
            break;
        case zorvan::CalibrationOrigin::MachineWide:
            where.push_back("in use: the machine-wide calibration in " + stores.machineWideFile());
            where.push_back("(this account has none of its own in " + stores.ownFile() + ")");
            break;
        case zorvan::CalibrationOrigin::None:
            where.push_back("none in " + stores.ownFile() + " nor in " + stores.machineWideFile());
            break;
    }
    if (const std::string problem = stores.inUse.machineWideProblem(); !problem.empty()) {
        where.push_back(problem);
    }
    return where;
}

// Whether --system may go on: the machine-wide file can be written (as
// root). Said before anything is read, paused or shown.
bool machineWideWritable(Stores& stores) {
    const std::string file = stores.machineWideFile();
    if (const std::string why = zorvan::machineWideWriteProblem(file); !why.empty()) {
        std::fprintf(stderr, "Calivo.app: --system: %s\nNothing was stored.\n", why.c_str());
        return false;
    }
    if (!zorvan::makeMachineWideFolder(file)) {
        std::fprintf(stderr, "Calivo.app: --system: cannot make the folder of %s: %s\n",
                     file.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

int runCommand(const CommandLine& options, int argc, char** argv) {
    QCoreApplication application(argc, argv);
    Stores stores;
    zorvan::calivo::PosixPeerProcesses processes;
    zorvan::calivo::DriverLink driver(stores.own, processes, ::getpid());
    const std::string file = options.file.toLocal8Bit().toStdString();
    const bool system = options.machineWide;
    switch (options.mode) {
        case CommandLine::Mode::Show:
            return zorvan::calivo::showCalibration(stores.calibration(system),
                                                   whereShown(stores, system), stdout);
        case CommandLine::Mode::Export:
            return zorvan::calivo::exportCalibration(stores.calibration(system), file, stderr);
        case CommandLine::Mode::Import: {
            if (system && !machineWideWritable(stores)) {
                return 1;
            }
            const int status = zorvan::calivo::importCalibration(
                stores.calibration(system), stores.stored(system), driver, file,
                zorvan::calivo::readImportFile, stdout, stderr);
            if (status == 0 && system) {
                std::printf("installed in %s for every account without a calibration of its own\n",
                            stores.machineWideFile().c_str());
            }
            return status;
        }
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
    Stores stores;
    if (options.machineWide && !machineWideWritable(stores)) {
        return zorvan::calivo::CalivoApp::kNotSaved;
    }
    if (!zorvan::calivo::displayAvailable(why)) {
        // Checked before anything is paused or published: nothing to undo.
        std::fprintf(stderr, "Calivo.app: %s; the calibration needs a screen to show targets on\n",
                     why.c_str());
        return zorvan::calivo::CalivoApp::kNotSaved;
    }
    QApplication application(argc, argv);
    zorvan::installTranslations(application, "calivo");

    zorvan::calivo::PosixPeerProcesses processes;
    zorvan::calivo::DriverRestart restart(processes,
                                          QCoreApplication::applicationDirPath().toStdString());
    zorvan::calivo::CalivoApp calivo(stores.own, processes, ::getpid(),
                                     {.devicePath = options.devicePath.toLocal8Bit().toStdString(),
                                      .driverPid = options.driverPid,
                                      .dotCount = options.dotCount,
                                      .softKeys = options.softKeys,
                                      .idleLimit = std::chrono::seconds(options.timeoutSeconds),
                                      .stored = stores.stored(options.machineWide),
                                      .restart = &restart,
                                      .calibration = &stores.calibration(options.machineWide),
                                      .screen = options.screen.toStdString()});
    const int status = calivo.start();
    if (status >= 0) {
        return status;
    }
    return application.exec();
}
