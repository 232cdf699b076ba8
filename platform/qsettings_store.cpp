#include "platform/qsettings_store.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/settings_file.h"
#include "platform/settings_file_update.h"

namespace zorvan {

namespace {

QString toKey(const std::string& key) {
    return QString::fromStdString(key);
}

}  // namespace

// The file's bytes as QSettings parsed them, from an in-memory file that no
// one else can replace, block on or grow.
class QSettingsStore::Snapshot {
  public:
    explicit Snapshot(const std::string& bytes) {
        memfd_ = ::memfd_create("zorvan-settings", MFD_CLOEXEC);
        std::size_t written = 0;
        while (memfd_ >= 0 && written < bytes.size()) {
            const ssize_t n = ::write(memfd_, bytes.data() + written, bytes.size() - written);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            written += static_cast<std::size_t>(n);
        }
        if (memfd_ >= 0 && written == bytes.size()) {
            // Qt keeps what it parsed per path and takes a file of the same
            // size and modification time for the one it parsed before, status
            // included. The path repeats with the descriptor number and two
            // snapshots may share a clock tick: each gets a time of its own.
            static std::atomic<long> snapshots{0};
            const timespec stamp{1'000'000'000 + snapshots.fetch_add(1), 0};
            const timespec times[2] = {stamp, stamp};
            ::futimens(memfd_, times);
            settings_ = std::make_unique<QSettings>(QStringLiteral("/proc/self/fd/%1").arg(memfd_),
                                                    QSettings::IniFormat);
        }
    }
    ~Snapshot() {
        settings_.reset();
        if (memfd_ >= 0) {
            ::close(memfd_);
        }
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    QVariant value(const QString& key) const {
        return settings_ ? settings_->value(key) : QVariant();
    }
    bool parsed() const { return !settings_ || settings_->status() != QSettings::FormatError; }

  private:
    int memfd_ = -1;
    std::unique_ptr<QSettings> settings_;
};

QSettingsStore::QSettingsStore() = default;

QSettingsStore::QSettingsStore(QString iniPath, WhenMissing whenMissing)
    : iniPath_(std::move(iniPath)), whenMissing_(whenMissing) {}

QSettingsStore::~QSettingsStore() = default;

const QString& QSettingsStore::path() {
    if (iniPath_.isEmpty()) {
        // Organization and application "Zorvan" in the user's configuration
        // folder. The path is spelled out because QSettings would name an INI
        // file of that scope Zorvan.ini, and the calibration tool reads Zorvan.conf.
        iniPath_ = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                   QStringLiteral("/Zorvan/Zorvan.conf");
    }
    return iniPath_;
}

void QSettingsStore::refresh() {
    const std::string file = QFile::encodeName(path()).toStdString();
    SettingsFileContents contents = readSettingsFile(file);
    using Status = SettingsFileContents::Status;
    readProblem_ = contents.status == Status::Missing && whenMissing_ == WhenMissing::Quiet
                       ? std::string()
                       : settingsFileProblem(file, contents);
    snapshot_ = std::make_unique<Snapshot>(contents.bytes);
    if (readProblem_.empty() && !snapshot_->parsed()) {
        readProblem_ = file + " does not parse as a settings file";
    }
    // A write would replace what could not be read or parsed (a hand-edited
    // file with a slip keeps its lines until it is mended).
    fileWritable_ = readProblem_.empty() || contents.status == Status::Missing;
}

QVariant QSettingsStore::value(const std::string& key) {
    if (const auto it = pending_.find(key); it != pending_.end()) {
        return QVariant(it->second);
    }
    if (!snapshot_) {
        refresh();
    }
    return snapshot_->value(toKey(key));
}

std::int64_t QSettingsStore::integerForKey(const std::string& key) {
    const QVariant value = this->value(key);
    if (!value.isValid()) {
        return 0;
    }
    bool ok = false;
    const qlonglong whole = value.toLongLong(&ok);
    if (ok) {
        return whole;
    }
    const double number = value.toDouble(&ok);
    if (!ok || std::isnan(number)) {
        return 0;
    }
    constexpr double kLimit = 9223372036854775808.0;  // 2^63: saturate, never overflow
    if (number >= kLimit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (number < -kLimit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(number);
}

float QSettingsStore::floatForKey(const std::string& key) {
    const QVariant value = this->value(key);
    if (!value.isValid()) {
        return 0.0f;
    }
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok) {
        return 0.0f;
    }
    // Beyond the float range the conversion would be undefined: say infinity,
    // which is what such a value means; the load treats it as missing.
    if (number > std::numeric_limits<float>::max()) {
        return std::numeric_limits<float>::infinity();
    }
    if (number < -std::numeric_limits<float>::max()) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(number);
}

std::string QSettingsStore::stringForKey(const std::string& key) {
    return value(key).toString().toStdString();
}

void QSettingsStore::setIntegerForKey(std::int64_t value, const std::string& key) {
    removals_.erase(key);
    pending_[key] = QString::number(static_cast<qlonglong>(value));
}

bool QSettingsStore::pendingDiffersFromFile() const {
    for (const auto& [key, value] : pending_) {
        const QVariant stored = snapshot_->value(toKey(key));
        if (!stored.isValid() || stored.toString() != value) {
            return true;
        }
    }
    return false;
}

void QSettingsStore::publishPending() {
    std::string keys;
    for (const auto& entry : pending_) {
        keys += (keys.empty() ? "" : ", ") + entry.first;
    }
    if (!fileWritable_) {
        // Never write over a FIFO, a directory or a file that was not read.
        writeProblem_ = "cannot publish " + keys + ": " + readProblem_;
        return;
    }
    const SettingsFileUpdate update = updateSettingsFile(path(), [this](QSettings& file) {
        for (const auto& [key, value] : pending_) {
            file.setValue(toKey(key), value);
        }
    });
    using Status = SettingsFileUpdate::Status;
    writeProblem_.clear();
    if (update.status == Status::NotRead) {
        writeProblem_ = "cannot publish " + keys + ": " + update.reason;
    } else if (update.status == Status::WriteFailed) {
        writeProblem_ = "cannot publish " + keys + " in " +
                        QFile::encodeName(path()).toStdString() + ": " + update.reason;
    }
}

void QSettingsStore::removeObjectForKey(const std::string& key) {
    pending_.erase(key);
    removals_.insert(key);
}

void QSettingsStore::removePending() {
    if (!fileWritable_) {
        return;  // nothing was read, so nothing of ours can be in it
    }
    bool present = false;
    for (const std::string& key : removals_) {
        present = present || snapshot_->value(toKey(key)).isValid();
    }
    if (!present) {
        return;  // already gone: leave the file as it is
    }
    // A removal that fails leaves the key behind, as a failed write does.
    updateSettingsFile(path(), [this](QSettings& file) {
        for (const std::string& key : removals_) {
            file.remove(toKey(key));
        }
    });
}

void QSettingsStore::setFloatForKey(float value, const std::string& key) {
    // The shortest text of the value widened to double: reading it back as a
    // double and narrowing gives exactly this float, with no double rounding.
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<double>(value)).ptr;
    removals_.erase(key);
    pending_[key] = QString::fromLatin1(text, end - text);
}

void QSettingsStore::setStringForKey(const std::string& value, const std::string& key) {
    removals_.erase(key);
    pending_[key] = QString::fromStdString(value);
}

void QSettingsStore::synchronize() {
    refresh();
    if (!removals_.empty()) {
        removePending();
        removals_.clear();
        refresh();
    }
    if (pending_.empty()) {
        return;
    }
    if (pendingDiffersFromFile()) {
        publishPending();
        refresh();
    } else {
        writeProblem_.clear();
    }
    pending_.clear();
}

bool QSettingsStore::lastSyncSucceeded() {
    return writeProblem_.empty();
}

QString QSettingsStore::fileName() {
    return path();
}

}  // namespace zorvan
