#include "tools/serial/hex_dump.h"

#include <algorithm>

namespace zorvan::serial_tool {

std::string hexDump(std::span<const std::uint8_t> bytes,
                    const std::function<std::string(std::size_t)>& prefix) {
    constexpr std::size_t kPerLine = 16;
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t start = 0; start < bytes.size(); start += kPerLine) {
        const auto line = bytes.subspan(start, std::min(kPerLine, bytes.size() - start));
        out += prefix(start);
        std::string text;
        for (std::size_t i = 0; i < kPerLine; ++i) {
            if (i < line.size()) {
                out += digits[line[i] >> 4];
                out += digits[line[i] & 0xF];
                out += ' ';
                text += line[i] >= 0x20 && line[i] < 0x7F ? static_cast<char>(line[i]) : '.';
            } else {
                out += "   ";  // the text column stays in place on a short line
            }
        }
        out += ' ' + text + '\n';
    }
    return out;
}

}  // namespace zorvan::serial_tool
