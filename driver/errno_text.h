#pragma once

#include <string>

namespace zorvan {

// The system's text for an errno value ("Permission denied"); thread-safe.
std::string errnoText(int errorNumber);

}  // namespace zorvan
