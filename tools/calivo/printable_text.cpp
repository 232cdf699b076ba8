#include "tools/calivo/printable_text.h"

#include <cstdint>
#include <cstdio>

namespace zorvan::calivo {

namespace {

// The length of the well-formed UTF-8 sequence at the start of text that
// encodes a character from U+00A0 on (C1 controls excluded), else 0.
std::size_t printableSequence(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        code = lead & 0x1fu;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        code = lead & 0x0fu;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0u) != 0x80u) {
            return 0;
        }
        code = code << 6 | (byte(i) & 0x3fu);
    }
    const std::uint32_t shortest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    const bool surrogate = code >= 0xd800 && code <= 0xdfff;
    return code >= shortest && code >= 0xa0 && code <= 0x10ffff && !surrogate ? length : 0;
}

}  // namespace

std::string printableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = printableSequence(text.substr(i)); n > 0) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
            ++i;
        }
    }
    return out;
}

}  // namespace zorvan::calivo
