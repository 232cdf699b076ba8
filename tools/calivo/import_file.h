#pragma once

#include <optional>
#include <string>

namespace zorvan::calivo {

// The text of --import's FILE, read the way the settings file is: a regular
// file of at most 1 MB, looked at before it is opened, so that a FIFO never
// blocks and a device is never touched; "-" reads standard input, up to the
// same limit. nullopt, with one line saying why in `problem`, for anything
// else. An ImportReader (stored_calibration.h).
std::optional<std::string> readImportFile(const std::string& path, std::string& problem);

}  // namespace zorvan::calivo
