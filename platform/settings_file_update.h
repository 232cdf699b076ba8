#pragma once

#include <QString>
#include <functional>
#include <string>

class QSettings;

namespace zorvan {

// How a change of the settings file went.
struct SettingsFileUpdate {
    enum class Status {
        Done,         // the file now holds the change
        NotRead,      // the file could not be read (reason: as settingsFileProblem says)
        WriteFailed,  // it was read but could not be replaced (reason: the system's words)
    };
    Status status = Status::Done;
    std::string reason;
};

// Changes the settings file at `path` the way QSettings would (under the
// same "PATH.lock" lock file, so the calibration tool's writes and ours never
// lose each other's keys), but without ever opening the file itself with
// QSettings: the current contents are read with readSettingsFile(), edited
// in a new file beside it and renamed into place. QSettings opens the path
// for reading with a plain open(), which blocks for ever when someone has
// put a FIFO there, and would stall the reader thread with it. A file the
// user may not write is left alone, as QSettings leaves it. On any failure
// the file stays as it was.
SettingsFileUpdate updateSettingsFile(const QString& path,
                                      const std::function<void(QSettings&)>& edit);

}  // namespace zorvan
