// zorvan-serial --help and --version.
#include <cstdio>

#include "tools/serial/serial_command.h"

#ifndef ZORVAN_VERSION
#define ZORVAN_VERSION "unknown"
#endif

namespace zorvan::serial_tool {

void printVersion() {
    std::printf("zorvan-serial %s\n", ZORVAN_VERSION);
}

void printUsage(std::FILE* out) {
    std::fputs(
        "usage: zorvan-serial list [-v] [--json] [--watch] [FILTER]\n"
        "       zorvan-serial term PATH [OPTIONS] [--echo] [--hex]\n"
        "       zorvan-serial read PATH [OPTIONS] [--bytes N] [--until CHAR]\n"
        "                              [--timeout S] [--encoding NUMBER] [--hex]\n"
        "       zorvan-serial lines PATH [--watch]\n"
        "       zorvan-serial --version\n"
        "\n"
        "list   Each serial port, one a line under a header: name, path, kernel name,\n"
        "       node, USB vendor:product, vendor, product, serial number and by-id\n"
        "       link. FILTER keeps the ports with those VID:PID ids or that text;\n"
        "       -v shows everything, --json gives JSON, --watch then prints each\n"
        "       arrival (+) and removal (-) until interrupted. See list --help.\n"
        "term   A serial terminal: the port's input goes to stdout, stdin goes to the\n"
        "       port as fast as the device takes it. Ctrl-] or the end of stdin quits\n"
        "       once everything before it is written; SIGINT or SIGTERM quits at once.\n"
        "       On a keyboard Ctrl-T opens a menu (Ctrl-T h lists its keys): b speed,\n"
        "       d DTR, r RTS, k break, l the lines' state, f send a file, Ctrl-T\n"
        "       itself. The port gets back the settings it had. --echo also shows\n"
        "       what you type; --hex shows what arrives (RX) and what is sent (TX) as\n"
        "       hex and text side by side. Exit status 1 when the device goes away,\n"
        "       the output can't be written, or bytes were not delivered (the count\n"
        "       on stderr).\n"
        "read   One blocking read, printed on stdout, then \"code=C bytesRead=N\"\n"
        "       (and \" endCode=E\") on stderr. Stops after --bytes N bytes, after a\n"
        "       chunk ending in --until CHAR (a character, \\n, \\r, \\t, \\0 or 0xNN),\n"
        "       or when --timeout S seconds (default 1) have passed; at most 4096\n"
        "       bytes. --encoding prints the bytes as text of that encoding number\n"
        "       (1 ASCII, 4 UTF-8, 5 ISO Latin 1, 12 Windows-1252, 30 Mac OS Roman),\n"
        "       nothing when they are not valid in it; --hex prints them as offset,\n"
        "       hex and text. Exit status 0 for code 0, else 1 (codes: 99 failure or\n"
        "       end of file, 100 time-out, 101 buffer full), and 1 when the output\n"
        "       can't be written.\n"
        "lines  The modem lines (DTR RTS CTS DSR DCD RI), on or off; --watch then\n"
        "       prints each change with the seconds since the start until\n"
        "       interrupted. Changes no setting and takes no lock. Exit status 1 for\n"
        "       a device without modem lines (a pseudo-terminal).\n"
        "\n"
        "OPTIONS of term and read. term and read take the port's advisory lock and\n"
        "refuse a port whose lock another program holds (the driver holds its\n"
        "board's), naming its pid. Line settings not given keep the device's.\n"
        "  --exclusive            no other program opens the port meanwhile\n"
        "  --ignore-lock          use the port even when another program holds its lock\n"
        "  --speed N              bit rate, any the device accepts\n"
        "  --data-bits 5|6|7|8\n"
        "  --parity none|odd|even\n"
        "  --stop-bits 1|2\n"
        "  --rtscts               RTS/CTS hardware flow control\n",
        out);
}

}  // namespace zorvan::serial_tool
