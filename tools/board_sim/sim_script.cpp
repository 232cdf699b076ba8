#include "tools/board_sim/sim_script.h"

#include <algorithm>
#include <charconv>
#include <span>
#include <utility>

#include "driver/mode_signatures.h"

namespace zorvan::sim {

namespace {

constexpr std::uint8_t kDown = 0x51;
constexpr std::uint8_t kUp = 0x61;
constexpr std::uint8_t kKey1 = 0x85;
constexpr std::uint8_t kKey2 = 0x87;
constexpr std::uint8_t kTouchCalibrate = 0xA2;
constexpr std::uint8_t kPenCalibrate = 0x28;
// A touch frame acts on a lift only at every third up packet.
constexpr int kTouchLiftUps = 3;
constexpr int kMaxCoordinate = 4095;
constexpr long kMaxCount = 1'000'000;

std::vector<std::string_view> splitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) {
            ++i;
        }
        std::size_t end = i;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') {
            ++end;
        }
        if (end > i) {
            words.push_back(line.substr(i, end - i));
        }
        i = end;
    }
    return words;
}

std::optional<long> number(std::string_view word, long low, long high) {
    long value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc{} || end != word.data() + word.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint8_t> hexByte(std::string_view word) {
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        word.remove_prefix(2);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value, 16);
    if (word.empty() || word.size() > 2 || error != std::errc{} ||
        end != word.data() + word.size()) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

std::optional<Packet> modePacket(std::string_view name) {
    static constexpr std::pair<std::string_view, std::string_view> kShortNames[] = {
        {"pen", "ElecH_Cmp"},
        {"pen-keys", "ElecS_Cmp"},
        {"touch", "TouchH_Cmp"},
        {"touch-keys", "TouchS_Cmp"},
    };
    for (const auto& [shortName, signatureName] : kShortNames) {
        if (name == shortName) {
            name = signatureName;
        }
    }
    for (const ModeSignature& signature : kModeSignatures) {
        if (signature.name == name) {
            return signature.bytes;
        }
    }
    return std::nullopt;
}

}  // namespace

Packet dataPacket(std::uint8_t code, int x, int y, SimMode mode) {
    return mode.touch ? makeDataPacket(code, y, x) : makeDataPacket(code, x, y);
}

struct ScriptReader::Command {
    enum class Kind { Bytes, Mode, Data, Calibrate, Stroke, Hold, Wait, Repeat };
    Kind kind = Kind::Bytes;
    std::vector<std::uint8_t> bytes;             // Bytes; Mode: the mode packet
    bool touch = false;                          // Mode
    std::uint8_t code = 0;                       // Data
    long args[5] = {};                           // coordinates, counts, milliseconds
    std::vector<std::unique_ptr<Command>> body;  // Repeat
};

ScriptReader::ScriptReader() = default;
ScriptReader::~ScriptReader() = default;

std::optional<std::string> ScriptReader::parse(std::string_view line,
                                               std::unique_ptr<Command>& command) {
    const auto words = splitWords(line.substr(0, line.find('#')));
    if (words.empty()) {
        return std::nullopt;
    }
    const std::string_view verb = words[0];
    const std::size_t argc = words.size() - 1;
    auto made = std::make_unique<Command>();
    using Kind = Command::Kind;

    // Reads count numbers in [low, high] into made->args.
    const auto numbers = [&](std::size_t count, long low, long high) -> std::optional<std::string> {
        if (argc != count) {
            return std::string(verb) + " takes " + std::to_string(count) + " numbers";
        }
        for (std::size_t i = 0; i < count; ++i) {
            const auto value = number(words[i + 1], low, high);
            if (!value) {
                return "'" + std::string(words[i + 1]) + "' is not a number from " +
                       std::to_string(low) + " to " + std::to_string(high);
            }
            made->args[i] = *value;
        }
        return std::nullopt;
    };
    const auto coordinates = [&](std::size_t count) { return numbers(count, 0, kMaxCoordinate); };
    // Coordinates followed by a count of at least one.
    const auto withCount = [&](std::size_t count) -> std::optional<std::string> {
        if (auto error = numbers(count, 0, kMaxCount)) {
            return error;
        }
        for (std::size_t i = 0; i + 1 < count; ++i) {
            if (made->args[i] > kMaxCoordinate) {
                return "coordinate " + std::to_string(made->args[i]) + " is over 4095";
            }
        }
        if (made->args[count - 1] < 1) {
            return std::string(verb) + " needs a count of at least 1";
        }
        return std::nullopt;
    };

    std::optional<std::string> error;
    if (verb == "hex") {
        made->kind = Kind::Bytes;
        if (argc == 0) {
            error = "hex needs at least one byte";
        }
        for (std::size_t i = 1; i < words.size() && !error; ++i) {
            const auto byte = hexByte(words[i]);
            if (!byte) {
                error = "'" + std::string(words[i]) + "' is not a hex byte";
            } else {
                made->bytes.push_back(*byte);
            }
        }
    } else if (verb == "mode") {
        made->kind = Kind::Mode;
        const auto packet = argc == 1 ? modePacket(words[1]) : std::nullopt;
        if (!packet) {
            error = "mode takes one of pen, pen-keys, touch, touch-keys or a signature name";
        } else {
            made->bytes.assign(packet->begin(), packet->end());
            made->touch = findModeSignature((*packet)[0], (*packet)[1])->bTouch;
        }
    } else if (verb == "down" || verb == "up" || verb == "key1" || verb == "key2") {
        made->kind = Kind::Data;
        made->code = verb == "down" ? kDown : verb == "up" ? kUp : verb == "key1" ? kKey1 : kKey2;
        error = coordinates(2);
    } else if (verb == "calibrate") {
        made->kind = Kind::Calibrate;
        if (argc != 0) {
            error = "calibrate takes nothing";
        }
    } else if (verb == "stroke") {
        made->kind = Kind::Stroke;
        error = withCount(5);
    } else if (verb == "hold") {
        made->kind = Kind::Hold;
        error = withCount(3);
    } else if (verb == "wait") {
        made->kind = Kind::Wait;
        error = numbers(1, 0, 3'600'000);
    } else if (verb == "repeat") {
        made->kind = Kind::Repeat;
        error = numbers(1, 0, kMaxCount);
    } else if (verb == "end") {
        error = "end without repeat";
    } else {
        error = "unknown command '" + std::string(verb) + "'";
    }
    if (!error) {
        command = std::move(made);
    }
    return error;
}

std::optional<std::string> ScriptReader::addLine(std::string_view line, std::vector<SimStep>& out) {
    ++lineNumber_;
    const auto where = [this](const std::string& why) {
        return "line " + std::to_string(lineNumber_) + ": " + why;
    };
    const auto words = splitWords(line.substr(0, line.find('#')));
    std::unique_ptr<Command> done;
    if (words.size() == 1 && words[0] == "end" && !openBlocks_.empty()) {
        done = std::move(openBlocks_.back());
        openBlocks_.pop_back();
    } else {
        std::unique_ptr<Command> command;
        if (auto error = parse(line, command)) {
            return where(*error);
        }
        if (!command) {
            return std::nullopt;
        }
        if (command->kind == Command::Kind::Repeat) {
            openBlocks_.push_back(std::move(command));
            return std::nullopt;
        }
        done = std::move(command);
    }
    if (!openBlocks_.empty()) {
        openBlocks_.back()->body.push_back(std::move(done));
        return std::nullopt;
    }
    std::vector<SimStep> steps;
    const SimMode before = mode_;
    emitted_ = 0;
    if (auto error = expand(*done, steps)) {
        mode_ = before;
        return where(*error);
    }
    out.insert(out.end(), std::make_move_iterator(steps.begin()),
               std::make_move_iterator(steps.end()));
    return std::nullopt;
}

std::optional<std::string> ScriptReader::finish() {
    if (!openBlocks_.empty()) {
        return "line " + std::to_string(lineNumber_) + ": repeat without end";
    }
    return std::nullopt;
}

std::optional<std::string> ScriptReader::expand(const Command& command, std::vector<SimStep>& out) {
    using Kind = Command::Kind;
    const auto append = [&](std::span<const std::uint8_t> bytes) {
        // Consecutive bytes share one step: the line carries them back to back.
        if (out.empty() || out.back().pause.count() != 0) {
            out.emplace_back();
        }
        out.back().bytes.insert(out.back().bytes.end(), bytes.begin(), bytes.end());
        ++emitted_;
    };
    const auto send = [&](const Packet& packet) { append(packet); };
    const auto lift = [&](int x, int y) {
        for (int i = 0; i < (mode_.touch ? kTouchLiftUps : 1); ++i) {
            send(dataPacket(kUp, x, y, mode_));
        }
    };
    const auto x = [&](int i) { return static_cast<int>(command.args[i]); };

    switch (command.kind) {
        case Kind::Bytes:
            append(command.bytes);
            break;
        case Kind::Mode: {
            Packet packet{};
            std::copy(command.bytes.begin(), command.bytes.end(), packet.begin());
            send(packet);
            mode_.touch = command.touch;
            break;
        }
        case Kind::Data:
            send(dataPacket(command.code, x(0), x(1), mode_));
            break;
        case Kind::Calibrate:
            send(dataPacket(mode_.touch ? kTouchCalibrate : kPenCalibrate, 0, 0, mode_));
            break;
        case Kind::Stroke: {
            const long n = command.args[4];
            for (long i = 0; i < n; ++i) {
                const auto along = [&](int from, int to) {
                    return n == 1 ? from : static_cast<int>(from + (to - from) * i / (n - 1));
                };
                send(dataPacket(kDown, along(x(0), x(2)), along(x(1), x(3)), mode_));
            }
            lift(x(2), x(3));
            break;
        }
        case Kind::Hold:
            for (long i = 0; i < command.args[2]; ++i) {
                send(dataPacket(kDown, x(0), x(1), mode_));
            }
            lift(x(0), x(1));
            break;
        case Kind::Wait:
            if (out.empty() || out.back().pause.count() != 0) {
                out.emplace_back();
            }
            out.back().pause = std::chrono::milliseconds(command.args[0]);
            ++emitted_;
            break;
        case Kind::Repeat:
            for (long i = 0; i < command.args[0]; ++i) {
                // Counted too, so that even empty nested blocks stay bounded.
                if (++emitted_ > kMaxSteps) {
                    break;
                }
                for (const auto& inner : command.body) {
                    if (auto error = expand(*inner, out)) {
                        return error;
                    }
                }
            }
            break;
    }
    if (emitted_ > kMaxSteps) {
        return "the command expands to more than " + std::to_string(kMaxSteps) + " steps";
    }
    return std::nullopt;
}

std::optional<std::string> readScript(std::string_view text, std::vector<SimStep>& out) {
    ScriptReader reader;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (auto error = reader.addLine(text.substr(0, end), out)) {
            return error;
        }
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return reader.finish();
}

}  // namespace zorvan::sim
