#pragma once

#include <string>
#include <string_view>

namespace zorvan::serial_tool {

// text as a JSON string, quotes included. Control characters are escaped;
// bytes that are not UTF-8 become U+FFFD, so the result is always valid JSON.
std::string jsonString(std::string_view text);

}  // namespace zorvan::serial_tool
