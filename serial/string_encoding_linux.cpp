#include <errno.h>
#include <iconv.h>

#include <string_view>

#include "serial/string_encoding.h"

namespace zorvan::serial {
namespace {

const char* iconvName(VXStringEncoding encoding) {
    switch (encoding) {
        case VXASCIIStringEncoding:
            return "ASCII";
        case VXUTF8StringEncoding:
            return "UTF-8";
        case VXISOLatin1StringEncoding:
            return "ISO-8859-1";
        case VXWindowsCP1252StringEncoding:
            return "CP1252";
        case VXMacOSRomanStringEncoding:
            return "MACINTOSH";
        default:
            return nullptr;
    }
}

// Strict UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
// glibc's iconv lets through old 5- and 6-byte forms and code points up to
// 0x7FFFFFFF, so UTF-8 is checked here rather than by iconv.
bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
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
        if (length > text.size() - i) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kShortest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// The whole input converted, or nullopt at the first sequence iconv refuses
// (no "//TRANSLIT" or "//IGNORE": a lossy string would hide bad input).
std::optional<std::string> convert(const char* to, const char* from, const char* in,
                                   std::size_t size) {
    if (to == nullptr || from == nullptr) {
        return std::nullopt;
    }
    const iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out(size * 4 + 16, '\0');
    char* inPtr = const_cast<char*>(in);
    std::size_t inLeft = size;
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    bool ok = true;
    while (inLeft > 0) {
        if (::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
            continue;
        }
        if (errno != E2BIG) {
            ok = false;  // EILSEQ, or EINVAL for a sequence cut short
            break;
        }
        const std::size_t used = out.size() - outLeft;
        out.resize(out.size() * 2);
        outPtr = out.data() + used;
        outLeft = out.size() - used;
    }
    ::iconv_close(cd);
    if (!ok) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

// convert(), then back again: the result only when the round trip gives the
// very input. glibc's iconv turns some characters into nothing with a return
// value of 0 (the tag characters U+E0000..U+E007F into ASCII, Latin-1,
// CP1252 and Mac OS Roman), so its own answer cannot tell a loss.
std::optional<std::string> convertExactly(const char* to, const char* from, const char* in,
                                          std::size_t size) {
    auto converted = convert(to, from, in, size);
    if (!converted) {
        return std::nullopt;
    }
    const auto back = convert(from, to, converted->data(), converted->size());
    if (!back || std::string_view(*back) != std::string_view(in, size)) {
        return std::nullopt;
    }
    return converted;
}

}  // namespace

std::optional<std::string> decodeString(std::span<const std::uint8_t> bytes,
                                        VXStringEncoding encoding) {
    if (encoding == VXUTF8StringEncoding) {
        std::string text(bytes.begin(), bytes.end());
        return isValidUtf8(text) ? std::optional(std::move(text)) : std::nullopt;
    }
    return convertExactly("UTF-8", iconvName(encoding), reinterpret_cast<const char*>(bytes.data()),
                          bytes.size());
}

std::optional<Bytes> encodeString(const std::string& text, VXStringEncoding encoding) {
    if (!isValidUtf8(text)) {
        return std::nullopt;
    }
    if (encoding == VXUTF8StringEncoding) {
        return Bytes(text.begin(), text.end());
    }
    const auto converted = convertExactly(iconvName(encoding), "UTF-8", text.data(), text.size());
    if (!converted) {
        return std::nullopt;
    }
    return Bytes(converted->begin(), converted->end());
}

}  // namespace zorvan::serial
