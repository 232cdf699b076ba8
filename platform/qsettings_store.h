#pragma once

#include <QString>
#include <QVariant>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "calibration/settings_store.h"

class QSettings;

namespace zorvan {

// The settings store shared with the calibration tool: an INI file in Qt's
// format, organization and application "Zorvan", that is
// $XDG_CONFIG_HOME/Zorvan/Zorvan.conf (default ~/.config). A missing or
// unparsable value reads as 0; an integer stored as a decimal ("3.0") reads
// truncated toward zero. One thread at a time (the reader thread).
//
// The file is anyone's to replace or edit by hand, so it is read through
// readSettingsFile(): a FIFO, directory or device, a file larger than 1 MB or
// one that cannot be read reads as empty, with the reason in readProblem().
// What was read is parsed by QSettings from a private in-memory copy.
// Reading never depends on being able to write.
//
// A value set here is written at the next synchronize() only when the file
// holds a different one, and never into a file that could not be read or
// parsed (that is said in writeProblem()), so that loads do not rewrite a file the calibration
// tool may be saving at that moment. The write is QSettings' own: under its
// lock file, re-reading what others saved, renamed over the old file.
class QSettingsStore : public SettingsStore {
  public:
    QSettingsStore();
    // Whether a file that does not exist is worth a readProblem(): it is for
    // the user's file, not for the machine-wide one, which most PCs lack.
    enum class WhenMissing { Say, Quiet };
    // A store on an explicit INI file: the machine-wide one, or for tests.
    explicit QSettingsStore(QString iniPath, WhenMissing whenMissing = WhenMissing::Say);
    ~QSettingsStore() override;

    std::int64_t integerForKey(const std::string& key) override;
    float floatForKey(const std::string& key) override;
    std::string stringForKey(const std::string& key) override;
    void setIntegerForKey(std::int64_t value, const std::string& key) override;
    void removeObjectForKey(const std::string& key) override;
    // Written as the shortest decimal that reads back as the same float.
    void setFloatForKey(float value, const std::string& key) override;
    void setStringForKey(const std::string& value, const std::string& key) override;
    // Publishes this process's writes and picks up what others have saved.
    void synchronize() override;
    std::string readProblem() const override { return readProblem_; }
    std::string writeProblem() const override { return writeProblem_; }

    QString fileName();
    // Whether the last synchronize() published what was set here (false when
    // the file could not be read, parsed or written; see writeProblem()).
    bool lastSyncSucceeded();

  private:
    class Snapshot;

    const QString& path();
    QVariant value(const std::string& key);
    // Reads the file afresh into snapshot_.
    void refresh();
    bool pendingDiffersFromFile() const;
    void publishPending();
    void removePending();

    QString iniPath_;  // empty until first use: then the shared user location
    WhenMissing whenMissing_ = WhenMissing::Say;
    std::unique_ptr<Snapshot> snapshot_;
    bool fileWritable_ = false;  // the last refresh read and parsed the file, or found none
    std::map<std::string, QString> pending_;  // values set here, as the text to write
    std::set<std::string>
        removals_;  // removed here, taken out of the file at the next synchronize()
    std::string readProblem_;
    std::string writeProblem_;
};

}  // namespace zorvan
