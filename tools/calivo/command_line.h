#pragma once

#include <QString>
#include <QStringList>

namespace zorvan::calivo {

struct CommandLine {
    enum class Mode { Calibrate, Show, Export, Import };
    Mode mode = Mode::Calibrate;
    QString devicePath;    // the board's terminal; empty: the driver's, else the default
    qint64 driverPid = 0;  // the driver to pause; 0: the one in the settings
    int dotCount = 0;      // --grid; 0: the user chooses
    bool softKeys = true;
    int timeoutSeconds = 60;   // --timeout: give up after this long without a touch
    QString file;              // of --export and --import
    QString screen;            // --screen: the board's screen; empty: ask when there are several
    bool machineWide = false;  // --system: the machine-wide file, not the user's
};

struct ParsedCommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail };
    Action action = Action::Run;
    CommandLine options;
    QString text;  // the help, the version or the error
};

// Parses the arguments (argv[0] first); never prints, never exits.
ParsedCommandLine parseCommandLine(const QStringList& arguments);

}  // namespace zorvan::calivo
