// String decoding and encoding on any bytes in any encoding the library
// knows (and one it doesn't): what decodes is valid UTF-8 and encodes back
// to the very bytes; what encodes decodes back to the very text.
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "serial/string_encoding.h"

namespace {

using namespace zorvan::serial;
using zorvan::fuzz::require;

bool validUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kShortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

constexpr VXStringEncoding kEncodings[] = {
    VXASCIIStringEncoding,         VXUTF8StringEncoding,       VXISOLatin1StringEncoding,
    VXWindowsCP1252StringEncoding, VXMacOSRomanStringEncoding, 0,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zorvan::fuzz::Input input(data, size);
    const VXStringEncoding encoding =
        kEncodings[input.take<std::uint8_t>() % std::size(kEncodings)];
    const auto bytes = input.rest();

    const auto text = decodeString(bytes, encoding);
    if (text) {
        require(encoding != 0, "an unknown encoding decodes nothing");
        require(validUtf8(*text), "decoded text is valid UTF-8");
        const auto back = encodeString(*text, encoding);
        require(back && Bytes(bytes.begin(), bytes.end()) == *back,
                "decoded text encodes back to its bytes");
    } else if (encoding == VXISOLatin1StringEncoding || encoding == VXMacOSRomanStringEncoding) {
        require(false, "every byte has a character in Latin 1 and Mac OS Roman");
    }
    if (encoding == VXASCIIStringEncoding) {
        bool ascii = true;
        for (const std::uint8_t b : bytes) {
            ascii = ascii && b < 0x80;
        }
        require(text.has_value() == ascii, "ASCII decodes exactly the bytes below 0x80");
    }

    // The same bytes taken as UTF-8 text to encode.
    const std::string asText(bytes.begin(), bytes.end());
    const auto encoded = encodeString(asText, encoding);
    if (encoded) {
        require(validUtf8(asText), "only valid UTF-8 text encodes");
        const auto again = decodeString(*encoded, encoding);
        require(again && *again == asText, "encoded text decodes back to itself");
    }
    return 0;
}
