#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/packet.h"

namespace zorvan::sim {

// One thing the simulated board does on its line: send bytes, or keep quiet.
struct SimStep {
    std::vector<std::uint8_t> bytes;     // sent at line pace
    std::chrono::milliseconds pause{0};  // then silence this long
    friend bool operator==(const SimStep&, const SimStep&) = default;
};

// Axis assignment and codes the board uses in its current mode.
struct SimMode {
    bool touch = false;
};

// The data packet for event code at raw (x, y) in the given mode: pen sends
// x in b3/b4 and y in b5/b6, touch the other way round; each 12-bit value as
// two 6-bit groups, high first.
Packet dataPacket(std::uint8_t code, int x, int y, SimMode mode);

// Reads a script line by line (input may come from a pipe as it is typed) and
// turns each finished top-level command into steps. Commands, one a line,
// '#' starts a comment:
//   hex B0 B1 ...            raw bytes
//   mode NAME                pen, pen-keys, touch, touch-keys or a signature name
//   down X Y / up X Y        one data packet (0x51 / 0x61)
//   key1 X Y / key2 X Y      pen double-click (0x85) / right-click (0x87) command
//   calibrate                calibration command of the current mode
//   stroke X0 Y0 X1 Y1 N     N downs along the line, then the lift
//   hold X Y N               N downs at one place, then the lift
//   wait MS                  silence
//   repeat N ... end         the block N times (nestable)
class ScriptReader {
  public:
    ScriptReader();
    ~ScriptReader();
    ScriptReader(const ScriptReader&) = delete;
    ScriptReader& operator=(const ScriptReader&) = delete;

    // Adds one line. Appends the steps of any command it completes to out.
    // On a malformed line returns "line N: why" and changes nothing.
    std::optional<std::string> addLine(std::string_view line, std::vector<SimStep>& out);

    // Called at end of input: an error if a repeat is still open.
    std::optional<std::string> finish();

    // At most this many packets, byte runs, pauses and repeat rounds make up
    // one top-level command.
    static constexpr std::size_t kMaxSteps = 1'000'000;

  private:
    struct Command;
    std::optional<std::string> parse(std::string_view line, std::unique_ptr<Command>& command);
    std::optional<std::string> expand(const Command& command, std::vector<SimStep>& out);

    std::vector<std::unique_ptr<Command>> openBlocks_;
    SimMode mode_;
    int lineNumber_ = 0;
    std::size_t emitted_ = 0;
};

// Whole-text convenience: every step of a script, or the first error.
std::optional<std::string> readScript(std::string_view text, std::vector<SimStep>& out);

}  // namespace zorvan::sim
