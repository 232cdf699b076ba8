#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zorvan::serial {

// @addtogroup errors
// @{

// Bytes as the port reads and writes them.
using Bytes = std::vector<std::uint8_t>;

// Text encodings by their platform numbers; the library's strings are UTF-8.
using VXStringEncoding = unsigned long;
inline constexpr VXStringEncoding VXASCIIStringEncoding = 1;           // 7-bit ASCII
inline constexpr VXStringEncoding VXUTF8StringEncoding = 4;            // UTF-8
inline constexpr VXStringEncoding VXISOLatin1StringEncoding = 5;       // ISO 8859-1
inline constexpr VXStringEncoding VXWindowsCP1252StringEncoding = 12;  // Windows-1252
inline constexpr VXStringEncoding VXMacOSRomanStringEncoding = 30;     // Mac OS Roman

// The text that bytes spell in encoding, as UTF-8; nullopt when a byte
// sequence is not valid in it or the encoding is unknown.
std::optional<std::string> decodeString(std::span<const std::uint8_t> bytes,
                                        VXStringEncoding encoding);
// The bytes of the UTF-8 text in encoding; nullopt when a character has no
// form in it, the text is not UTF-8, or the encoding is unknown.
std::optional<Bytes> encodeString(const std::string& text, VXStringEncoding encoding);

// @}

}  // namespace zorvan::serial
