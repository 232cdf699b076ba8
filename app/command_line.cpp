#include "app/command_line.h"

#include <QCommandLineParser>

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
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(device);
    parser.addOption(logToStdout);

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
    result.options.devicePath = parser.value(device);
    if (result.options.devicePath.isEmpty()) {
        result.action = ParsedCommandLine::Action::Fail;
        result.text = "--device needs a path";
        return result;
    }
    result.options.logToStdout = parser.isSet(logToStdout);
    return result;
}

}  // namespace zorvan::app
