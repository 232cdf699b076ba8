#pragma once

#include <QString>
#include <QStringList>

#include "platform/pointer_backend.h"

namespace zorvan::app {

// What the user asked for on the command line.
struct CommandLine {
    QString devicePath;                             // the board's terminal
    bool logToStdout = false;                       // echo the log view on standard output
    PointerBackend pointer = PointerBackend::Auto;  // where pointer events go
    QString pointerLog;                             // the log backend's file; empty: stdout
    QString screen;            // the board's screen by name; empty: the stored choice or primary
    bool listScreens = false;  // print the screens and exit
    bool hidden = false;       // start with only the tray icon, when there is a tray
};

struct ParsedCommandLine {
    enum class Action { Run, ShowHelp, ShowVersion, Fail, ListDevices };
    Action action = Action::Run;
    CommandLine options;
    QString text;  // the help, the version or the error
};

// Parses the arguments (argv[0] first). Never exits and never prints: the
// caller decides, so this runs before any QApplication exists.
ParsedCommandLine parseCommandLine(const QStringList& arguments);

}  // namespace zorvan::app
