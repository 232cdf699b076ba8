#include "calibration/zorvan_pid.h"

namespace zorvan {

bool clearZorvanPid(SettingsStore& prefs, std::int64_t pid) {
    // Read afresh: another driver may have published its own pid since.
    prefs.synchronize();
    if (prefs.integerForKey(kZorvanPidKey) != pid) {
        return false;
    }
    prefs.removeObjectForKey(kZorvanPidKey);
    prefs.synchronize();
    return true;
}

}  // namespace zorvan
