#pragma once

#include <QString>
#include <memory>

#include "calibration/settings_store.h"

class QSettings;

namespace zorvan {

// The settings store shared with the calibration tool: QSettings in INI
// format, organization and application "Zorvan", that is
// $XDG_CONFIG_HOME/Zorvan/Zorvan.conf (default ~/.config). A missing or
// unparsable value reads as 0; an integer stored as a decimal ("3.0") reads
// truncated toward zero. The QSettings object is made on first use, on the
// thread that uses the store (the reader thread); one thread at a time.
class QSettingsStore : public SettingsStore {
  public:
    QSettingsStore();
    // A store on an explicit INI file, for tests.
    explicit QSettingsStore(QString iniPath);
    ~QSettingsStore() override;

    std::int64_t integerForKey(const std::string& key) override;
    float floatForKey(const std::string& key) override;
    void setIntegerForKey(std::int64_t value, const std::string& key) override;
    // Written as the shortest decimal that reads back as the same float.
    void setFloatForKey(float value, const std::string& key) override;
    // Publishes this process's writes and picks up what others have saved.
    void synchronize() override;

    QString fileName();
    // Whether the last synchronize() could read and write the file.
    bool lastSyncSucceeded();

  private:
    QSettings& settings();

    QString iniPath_;  // empty: the shared user location
    std::unique_ptr<QSettings> settings_;
};

}  // namespace zorvan
