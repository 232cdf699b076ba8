#include "app/command_line.h"

#include <QCommandLineParser>

#include <optional>

#include "driver/app_controller.h"

namespace zorvan::app {

ParsedCommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Zorvan, the driver for serial whiteboards: reads the board's packets and turns them "
        "into pointer input.");
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption version("version", "Show the version and exit.");
    const QCommandLineOption device(
        "device", QString("Open the board at PATH (default %1).").arg(kDefaultBoardPath), "PATH",
        kDefaultBoardPath);
    const QCommandLineOption logToStdout(
        "log-stdout", "Also print every line of the log view on standard output.");
    const QCommandLineOption pointer(
        "pointer",
        "Where pointer events go: auto (default: uinput when /dev/uinput can be opened, else "
        "xtest when DISPLAY names a reachable X server, else log), uinput (a virtual absolute "
        "pointer, X11 and Wayland), xtest (XTest on the X server of DISPLAY) or log (one line "
        "per event: '<type> <x> <y>[ click=<n>]').",
        "BACKEND", "auto");
    const QCommandLineOption pointerLog(
        "pointer-log", "Where the log backend writes its events (default: standard output).",
        "FILE");
    const QCommandLineOption screen(
        "screen",
        "The screen the board is projected on, by name (see --list-screens), instead of the one "
        "saved by the calibration tool or else the primary screen.",
        "NAME");
    const QCommandLineOption listScreens(
        "list-screens", "Print the screens (name, geometry, primary, board) and exit.");
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(device);
    parser.addOption(logToStdout);
    parser.addOption(pointer);
    parser.addOption(pointerLog);
    parser.addOption(screen);
    parser.addOption(listScreens);
    const QCommandLineOption hidden(
        {"hidden", "tray"},
        "Start with the window hidden, as the icon in the system tray (the autostart entry "
        "uses this). Where the desktop has no tray the window shows anyway.");
    parser.addOption(hidden);
    const QCommandLineOption listDevices(
        "list-devices", "Print the serial ports, one 'name:path' a line, and exit.");
    parser.addOption(listDevices);

    ParsedCommandLine result;
    if (!parser.parse(arguments)) {
        result.action = ParsedCommandLine::Action::Fail;
        result.text = parser.errorText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.action = ParsedCommandLine::Action::Fail;
        result.text = "unexpected argument: " + parser.positionalArguments().first();
        return result;
    }
    if (parser.isSet(help)) {
        result.action = ParsedCommandLine::Action::ShowHelp;
        // Parsed before any QCoreApplication exists, which leaves Qt without
        // the program's name for the usage line.
        result.text = parser.helpText().replace("<executable_name>", "zorvan");
        return result;
    }
    if (parser.isSet(version)) {
        result.action = ParsedCommandLine::Action::ShowVersion;
        result.text = "zorvan " ZORVAN_VERSION "\n";
        return result;
    }
    if (parser.isSet(listDevices)) {
        result.action = ParsedCommandLine::Action::ListDevices;
        return result;
    }
    result.options.devicePath = parser.value(device);
    if (result.options.devicePath.isEmpty()) {
        result.action = ParsedCommandLine::Action::Fail;
        result.text = "--device needs a path";
        return result;
    }
    result.options.logToStdout = parser.isSet(logToStdout);
    const std::optional<PointerBackend> backend =
        parsePointerBackend(parser.value(pointer).toStdString());
    if (!backend) {
        result.action = ParsedCommandLine::Action::Fail;
        result.text =
            "--pointer takes auto, uinput, xtest or log, not '" + parser.value(pointer) + "'";
        return result;
    }
    result.options.pointer = *backend;
    result.options.pointerLog = parser.value(pointerLog);
    result.options.screen = parser.value(screen);
    result.options.listScreens = parser.isSet(listScreens);
    result.options.hidden = parser.isSet(hidden);
    return result;
}

}  // namespace zorvan::app
