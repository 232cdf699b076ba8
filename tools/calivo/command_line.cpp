#include "tools/calivo/command_line.h"

#include <QCommandLineParser>

#include "driver/app_controller.h"

namespace zorvan::calivo {

namespace {

constexpr const char* kDescription =
    "Calivo.app, the calibration tool of the Zorvan whiteboard driver.\n"
    "\n"
    "Without options it pauses the running driver, opens the board and shows one\n"
    "target at a time, full screen: touch each, hold still and lift; a press is\n"
    "taken at the lift. After the grid comes one check target at the centre; the\n"
    "grid is then stored, and the board's soft keys 0, 1, 2, 12 and 26 follow (each\n"
    "may be skipped). Every button can be touched on the board as well. The result\n"
    "is stored in $XDG_CONFIG_HOME/Zorvan/Zorvan.conf and the driver takes it up at\n"
    "the board's next silence, without a restart. Esc, a failure or 60 s without a\n"
    "press (--timeout) before the grid is stored keep the stored calibration as it\n"
    "was. Exit status: 0 stored, 1 not stored, 2 bad command line.\n"
    "\n"
    "With more than one screen a first step asks which one the board shows: a large\n"
    "number on every screen, the highlight moving from one to the next; touch the\n"
    "board anywhere while its screen is highlighted (or press the screen's number).\n"
    "The choice is saved as \"Screen\" with the calibration.\n"
    "\n"
    "An account without a calibration of its own uses the machine-wide one, in\n"
    "Zorvan/Zorvan.conf of the first folder of $XDG_CONFIG_DIRS (default /etc/xdg);\n"
    "root installs it with --system.\n"
    "\n"
    "Text form of --export and --import (a file of at most 1 MB), one entry a\n"
    "line, '#' starts a comment:\n"
    "  DotCount = 3        # grid: 2 (2 x 2), 3 (3 x 3) or 5 (5 columns x 4 rows)\n"
    "  Dot0 = 512 384      # raw x and y (0 to 4095) of every dot, numbered column\n"
    "  Dot1 = 530 2010     # by column from the top left; Dot0 to the last required\n"
    "  ...\n"
    "  TKey12 = 4000 100   # optional soft keys 0, 1, 2, 12, 26 of touch mode (TKey)\n"
    "  EKey12 = 4010 96    # and pen mode (EKey); one left out keeps its stored value";

}  // namespace

ParsedCommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version("version", "Show the version and exit.");
    const QCommandLineOption device(
        "device",
        QString("Open the board at PATH (default: the board the running driver reads, else %1).")
            .arg(kDefaultBoardPath),
        "PATH");
    const QCommandLineOption driverPid(
        "driver-pid",
        "Pause and resume the driver with process id PID (default: the driver that published "
        "its pid in the settings). The driver passes it with --device when it starts the tool.",
        "PID");
    const QCommandLineOption grid(
        "grid", "Take a grid of N = 2 (4 targets), 3 (9) or 5 (20) and start at once.", "N");
    const QCommandLineOption noKeys("no-keys", "Leave the soft keys as they are stored.");
    const QCommandLineOption timeout(
        "timeout",
        "Give up after SECONDS (1 to 3600, default 60) without a touch; the last 10 are "
        "counted down on the screen.",
        "SECONDS");
    const QCommandLineOption show("show", "Print the stored calibration and exit.");
    const QCommandLineOption exportFile(
        "export", "Write the stored calibration to FILE ('-': standard output) and exit.", "FILE");
    const QCommandLineOption importFile(
        "import",
        "Store the calibration in FILE ('-': standard input) and have the driver load it; a "
        "bad file, or one given while a calibration runs, stores nothing.",
        "FILE");
    const QCommandLineOption screen(
        "screen",
        "Calibrate on the screen NAME (as 'zorvan --list-screens' names it) without asking; "
        "the driver passes its own --screen.",
        "NAME");
    const QCommandLineOption system(
        "system",
        "Use the machine-wide file, which serves every account without a calibration of its "
        "own, instead of this account's: a calibration or --import stores there (as root), "
        "--show and --export read it.");
    for (const QCommandLineOption& option :
         {help, version, device, driverPid, grid, noKeys, timeout, screen, show, exportFile,
          importFile, system}) {
        parser.addOption(option);
    }

    ParsedCommandLine result;
    const auto fail = [&result](const QString& text) {
        result.action = ParsedCommandLine::Action::Fail;
        result.text = text;
        return result;
    };
    if (!parser.parse(arguments)) {
        return fail(parser.errorText());
    }
    if (!parser.positionalArguments().isEmpty()) {
        return fail("unexpected argument: " + parser.positionalArguments().first());
    }
    if (parser.isSet(help)) {
        result.action = ParsedCommandLine::Action::ShowHelp;
        result.text = parser.helpText().replace("<executable_name>", "Calivo.app");
        return result;
    }
    if (parser.isSet(version)) {
        result.action = ParsedCommandLine::Action::ShowVersion;
        result.text = "Calivo.app " ZORVAN_VERSION "\n";
        return result;
    }
    const int modes =
        int(parser.isSet(show)) + int(parser.isSet(exportFile)) + int(parser.isSet(importFile));
    if (modes > 1) {
        return fail("--show, --export and --import exclude each other");
    }
    CommandLine& options = result.options;
    if (parser.isSet(show)) {
        options.mode = CommandLine::Mode::Show;
    } else if (parser.isSet(exportFile)) {
        options.mode = CommandLine::Mode::Export;
        options.file = parser.value(exportFile);
    } else if (parser.isSet(importFile)) {
        options.mode = CommandLine::Mode::Import;
        options.file = parser.value(importFile);
    }
    if (options.mode != CommandLine::Mode::Calibrate &&
        (parser.isSet(grid) || parser.isSet(noKeys) || parser.isSet(device) ||
         parser.isSet(driverPid) || parser.isSet(timeout) || parser.isSet(screen))) {
        return fail(
            "--grid, --no-keys, --device, --driver-pid, --timeout and --screen belong to a "
            "calibration, not to --show, --export or --import");
    }
    options.machineWide = parser.isSet(system);
    options.screen = parser.value(screen);
    if (parser.isSet(screen) && options.screen.isEmpty()) {
        return fail("--screen needs a screen name");
    }
    if (parser.isSet(driverPid)) {
        bool number = false;
        options.driverPid = parser.value(driverPid).toLongLong(&number);
        if (!number || options.driverPid <= 1) {
            return fail("--driver-pid takes a process id, not '" + parser.value(driverPid) + "'");
        }
    }
    if ((options.mode == CommandLine::Mode::Export || options.mode == CommandLine::Mode::Import) &&
        options.file.isEmpty()) {
        return fail("--export and --import need a file");
    }
    options.devicePath = parser.value(device);
    if (parser.isSet(device) && options.devicePath.isEmpty()) {
        return fail("--device needs a path");
    }
    if (parser.isSet(grid)) {
        const QString value = parser.value(grid);
        if (value != "2" && value != "3" && value != "5") {
            return fail("--grid takes 2, 3 or 5, not '" + value + "'");
        }
        options.dotCount = value.toInt();
    }
    options.softKeys = !parser.isSet(noKeys);
    if (parser.isSet(timeout)) {
        bool ok = false;
        const QString value = parser.value(timeout);
        const int seconds = value.toInt(&ok);
        if (!ok || seconds < 1 || seconds > 3600) {
            return fail("--timeout takes whole seconds from 1 to 3600, not '" + value + "'");
        }
        options.timeoutSeconds = seconds;
    }
    return result;
}

}  // namespace zorvan::calivo
