// zorvan-serial: the serial library's command-line client. The first word
// names a subcommand; each lives in a file of its own.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/serial/list_command.h"
#include "tools/serial/serial_command.h"

int main(int argc, char** argv) {
    using namespace zorvan::serial_tool;
    holdClosedStandardDescriptors();
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        printVersion();
        return 0;
    }
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "list") {
        return runList(args);
    }
    if (command == "term") {
        return runTerm(args);
    }
    if (command == "read") {
        return runRead(args);
    }
    if (command == "lines") {
        return runLines(args);
    }
    std::fprintf(stderr, "zorvan-serial: unknown command \"%s\" (see zorvan-serial --help)\n",
                 command.c_str());
    return 2;
}
