#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "serial/vx_serial_port.h"

// The parts the subcommands of zorvan-serial share.
namespace zorvan::serial_tool {

// Line settings given on the command line; unset ones keep the device's.
struct LineOptions {
    std::optional<long> speed;
    std::optional<int> dataBits;
    std::optional<int> parity;  // 0 none, 1 odd, 2 even
    std::optional<int> stopBits;
    bool rtscts = false;
    // How the port is opened: for this program alone (TIOCEXCL); and
    // whether another program's advisory lock on it is disregarded.
    bool exclusive = false;
    bool ignoreLock = false;
};

// Takes args[i] (and its value) when it is a line or open option; answers
// false when it is not one. Sets error for a bad value.
bool takeLineOption(const std::vector<std::string>& args, std::size_t& i, LineOptions& options,
                    std::string& error);

// Opens path as a port with the given settings and raw input (no line
// editing, no echo by the device), holding its advisory lock unless told to
// ignore it. nullptr, with the reason on stderr, on failure (another
// program's lock among them, named with its pid).
std::shared_ptr<serial::VXSerialPort> openPort(const std::string& path, const LineOptions& options);

void printUsage(std::FILE* out);
// "zorvan-serial VERSION" on stdout.
void printVersion();

// A word that is no option of the subcommand: its PATH the first time,
// otherwise an error.
void takePath(const std::string& word, std::optional<std::string>& path, std::string& error);

// True when the command line was wrong (error, or no PATH given), after
// saying so on stderr for the subcommand named command.
bool badCommandLine(const char* command, const std::optional<std::string>& path, std::string error);

// Puts /dev/null on each closed standard descriptor, so that no file the
// program opens takes its number; reading or writing it still fails.
void holdClosedStandardDescriptors();

// Writes all of data to stdout: false, with errno, when it can't.
bool writeOutput(const void* data, std::size_t size);
// Says on stderr that the output could not be written (not for EPIPE).
void sayOutputFailed(int error);

// The modem-control lines by name, in the order shown.
inline constexpr std::pair<unsigned, const char*> kLineNames[] = {
    {serial::VXModemLineDTR, "DTR"}, {serial::VXModemLineRTS, "RTS"},
    {serial::VXModemLineCTS, "CTS"}, {serial::VXModemLineDSR, "DSR"},
    {serial::VXModemLineDCD, "DCD"}, {serial::VXModemLineRI, "RI"}};
// "DTR=on RTS=on CTS=off DSR=off DCD=off RI=off" for VXModemLine bits.
std::string linesText(unsigned lines);
// Why a line-control call failed, in words.
std::string failureText(const serial::SerialError& failure);

// The subcommands: args are the words after the subcommand's name; each
// answers the process's exit status.
int runTerm(const std::vector<std::string>& args);
int runRead(const std::vector<std::string>& args);
int runLines(const std::vector<std::string>& args);

}  // namespace zorvan::serial_tool
