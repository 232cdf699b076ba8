// The simulator's script reader on any text, fed line by line as it comes
// from a pipe: no crash, a malformed line is refused whole with its number,
// and the steps it makes stay within the reader's own bound.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "tools/board_sim/sim_script.h"

using zorvan::fuzz::require;

namespace {

// Far more than any real script; the reader bounds one command, not a file.
constexpr std::size_t kMaxTotalBytes = 64u << 20;

std::size_t bytesFrom(const std::vector<zorvan::sim::SimStep>& steps, std::size_t first) {
    std::size_t bytes = 0;
    for (std::size_t i = first; i < steps.size(); ++i) {
        bytes += steps[i].bytes.size();
    }
    return bytes;
}

bool refusedWithLineNumber(const std::string& error, int lineNumber) {
    const std::string prefix = "line " + std::to_string(lineNumber) + ": ";
    return error.rfind(prefix, 0) == 0 && error.size() > prefix.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    zorvan::sim::ScriptReader reader;
    std::vector<zorvan::sim::SimStep> steps;
    int lineNumber = 0;
    std::size_t start = 0;
    std::size_t totalBytes = 0;
    while (start < text.size() && totalBytes < kMaxTotalBytes) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        ++lineNumber;
        // The last step may grow: the line carries consecutive bytes as one run.
        const std::size_t from = steps.empty() ? 0 : steps.size() - 1;
        const std::size_t stepsBefore = steps.size();
        const std::size_t bytesBefore = bytesFrom(steps, from);
        const auto error = reader.addLine(text.substr(start, end - start), steps);
        const std::size_t added = bytesFrom(steps, from) - bytesBefore;
        if (error) {
            require(refusedWithLineNumber(*error, lineNumber), "an error names its line");
            require(steps.size() == stepsBefore && added == 0, "a refused line sends nothing");
        }
        // Every packet is 8 bytes, a hex run at most one line long.
        require(added <= 8 * zorvan::sim::ScriptReader::kMaxSteps + (end - start),
                "one command stays within the reader's bound");
        totalBytes += added;
        start = end + 1;
    }
    if (const auto error = reader.finish()) {
        require(refusedWithLineNumber(*error, lineNumber), "an open block names the last line");
    }
    for (const zorvan::sim::SimStep& step : steps) {
        require(step.pause.count() >= 0, "no negative pause");
    }
    return 0;
}
