#include "driver/board_open_failure.h"

#include <cerrno>

#include "driver/errno_text.h"

namespace zorvan {

std::string openFailureText(const std::string& path, int error) {
    switch (error) {
        case kNotASerialDevice:
        case ENOTTY:
        case EISDIR:
            return path + " is not a serial device";
        case kBoardLocked:
            return lockConflictText(path, std::nullopt);
        case ENOENT:
        case ENODEV:
        case ENXIO:
            // The usual state of an unplugged board: its node comes with it.
            return "waiting for the board at " + path +
                   ": no such device yet (plug the board in, or name its port with --device)";
        case EACCES:
        case EPERM:
            return "cannot open " + path + ": " + errnoText(error) +
                   "; install the udev rule 60-zorvan.rules and replug the board, or add your "
                   "user to the dialout group (sudo usermod -aG dialout $USER) and log in again";
        case EBUSY:
            return "cannot open " + path + ": " + errnoText(error) +
                   "; another program holds it for exclusive use";
        default:
            return "cannot open " + path + ": " + errnoText(error);
    }
}

std::string lockConflictText(const std::string& path,
                             const std::optional<BoardLockHolder>& holder) {
    if (!holder) {
        return "another zorvan is already reading " + path;
    }
    const std::string pid = std::to_string(holder->pid);
    if (holder->program.empty() || holder->program == "zorvan") {
        return "another zorvan (pid " + pid + ") is already reading " + path;
    }
    return holder->program + " (pid " + pid + ") has locked " + path +
           " for itself; end it to let zorvan read the board";
}

}  // namespace zorvan
