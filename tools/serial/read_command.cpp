// zorvan-serial read: one blocking read.
#include <errno.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tools/serial/hex_dump.h"
#include "tools/serial/serial_command.h"

namespace zorvan::serial_tool {
namespace {

// "a", "\n", "\r", "\t", "\0" or "0x0A"; nullopt for anything else.
std::optional<char> stopCharacter(const std::string& text) {
    if (text.size() == 1) {
        return text[0];
    }
    if (text.size() == 2 && text[0] == '\\') {
        switch (text[1]) {
            case 'n':
                return '\n';
            case 'r':
                return '\r';
            case 't':
                return '\t';
            case '0':
                return '\0';
            case '\\':
                return '\\';
            default:
                return std::nullopt;
        }
    }
    if (text.size() == 4 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        char* end = nullptr;
        const long value = std::strtol(text.c_str() + 2, &end, 16);
        if (*end == '\0') {
            return static_cast<char>(value);
        }
    }
    return std::nullopt;
}

}  // namespace

int runRead(const std::vector<std::string>& args) {
    LineOptions line;
    std::optional<std::string> path;
    std::optional<unsigned> bytes;
    std::optional<char> until;
    double timeout = 1.0;
    std::optional<unsigned long> encoding;
    bool hex = false;
    std::string error;
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
        const std::string& a = args[i];
        if (takeLineOption(args, i, line, error)) {
            continue;
        }
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : "";
        char* end = nullptr;
        if (a == "--bytes" || a == "--timeout" || a == "--encoding" || a == "--until") {
            if (!hasValue) {
                error = a + " needs a value";
                break;
            }
            ++i;
        }
        if (a == "--bytes") {
            const long n = std::strtol(value.c_str(), &end, 10);
            // No read stops after 0 bytes: it would wait out the time-out instead.
            if (value.empty() || *end != '\0' || n < 1 || n > 1000000000L) {
                error = "--bytes takes a count of 1 or more, not \"" + value + "\"";
            }
            bytes = static_cast<unsigned>(n);
        } else if (a == "--until") {
            until = stopCharacter(value);
            if (!until) {
                error = "--until takes one character, \\n, \\r, \\t, \\0 or 0xNN, not \"" + value +
                        "\"";
            }
        } else if (a == "--timeout") {
            timeout = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(timeout >= 0)) {
                error = "--timeout takes seconds, not \"" + value + "\"";
            }
        } else if (a == "--encoding") {
            encoding = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' ||
                !serial::decodeString(serial::Bytes{'a'}, *encoding)) {
                error = "unknown --encoding \"" + value + "\" (1, 4, 5, 12 or 30)";
            }
        } else if (a == "--hex") {
            hex = true;
        } else if (a == "--help") {
            printUsage(stdout);
            return 0;
        } else if (a == "--version") {
            printVersion();
            return 0;
        } else {
            takePath(a, path, error);
        }
    }
    if (error.empty() && hex && encoding) {
        error = "--hex and --encoding exclude each other";
    }
    if (badCommandLine("read", path, error)) {
        return 2;
    }
    const auto port = openPort(*path, line);
    if (!port) {
        return 1;
    }
    port->setReadTimeout(timeout);
    serial::SerialError result;
    const auto data = port->readAndStopAfterBytes(bytes.has_value(), bytes.value_or(0),
                                                  until.has_value(), until.value_or(0), &result);
    port->close();
    if (data) {
        std::optional<std::string> text;
        if (encoding) {
            text = serial::decodeString(*data, *encoding);
        } else if (hex) {
            text = hexDump(*data, [](std::size_t offset) {
                char label[16];
                std::snprintf(label, sizeof label, "%08zx  ", offset);
                return std::string(label);
            });
        }
        const bool written = text ? writeOutput(text->data(), text->size())
                                  : encoding || writeOutput(data->data(), data->size());
        if (!written) {
            sayOutputFailed(errno);
            return 1;
        }
    }
    const auto* count = result.find<std::uint64_t>(serial::VXBytesReadKey);
    const auto* endCode = result.find<std::int64_t>(serial::VXEndCodeKey);
    std::fprintf(stderr, "code=%d bytesRead=%llu", result.code,
                 static_cast<unsigned long long>(count != nullptr ? *count : 0));
    if (endCode != nullptr) {
        std::fprintf(stderr, " endCode=%lld", static_cast<long long>(*endCode));
    }
    std::fprintf(stderr, "\n");
    return result.code == serial::VXSerialErrorNone ? 0 : 1;
}

}  // namespace zorvan::serial_tool
