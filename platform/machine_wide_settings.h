#pragma once

#include <string>

namespace zorvan {

// The machine-wide settings file, the XDG way: Zorvan/Zorvan.conf in the
// first folder of $XDG_CONFIG_DIRS (colon-separated, default /etc/xdg) that
// holds one; when none does, in the first folder, where --system installs it.
// Relative folders are ignored, as XDG asks.
std::string machineWideSettingsPath();

// Why the calling process cannot install a machine-wide calibration at
// `path` (it may not write the file or make it in its folder), as a sentence
// that names the cure; empty when it can.
std::string machineWideWriteProblem(const std::string& path);

// Makes the folders of `path` that are missing, readable by every account
// whatever the umask: a machine-wide file in a folder only root may enter
// would serve no one.
bool makeMachineWideFolder(const std::string& path);

}  // namespace zorvan
