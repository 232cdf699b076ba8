#pragma once

#include <optional>
#include <string>

#include "driver/board_lock.h"

namespace zorvan {

// Error numbers the board's open reports besides the system's own.
inline constexpr int kNotASerialDevice = -1;  // the path is no terminal
inline constexpr int kBoardLocked = -2;       // another process reads the board

// The line a user reads when the board at `path` cannot be opened for the
// reason `error` (an errno value or one of the two above): what went wrong and,
// where there is one, the cure.
std::string openFailureText(const std::string& path, int error);

// The line for a board that another driver already reads.
std::string lockConflictText(const std::string& path, const std::optional<BoardLockHolder>& holder);

}  // namespace zorvan
