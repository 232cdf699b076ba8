#pragma once

#include <functional>
#include <string_view>

namespace zorvan {

// One line of log text, without its newline. Called from the reader thread
// as well as the main thread; implementations must be thread-safe.
using LogWriter = std::function<void(std::string_view line)>;

}  // namespace zorvan
