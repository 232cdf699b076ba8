#include <errno.h>
#include <iconv.h>

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

}  // namespace

std::optional<std::string> decodeString(std::span<const std::uint8_t> bytes,
                                        VXStringEncoding encoding) {
    return convert("UTF-8", iconvName(encoding), reinterpret_cast<const char*>(bytes.data()),
                   bytes.size());
}

std::optional<Bytes> encodeString(const std::string& text, VXStringEncoding encoding) {
    const auto converted = convert(iconvName(encoding), "UTF-8", text.data(), text.size());
    if (!converted) {
        return std::nullopt;
    }
    return Bytes(converted->begin(), converted->end());
}

}  // namespace zorvan::serial
