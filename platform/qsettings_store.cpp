#include "platform/qsettings_store.h"

#include <QSettings>
#include <QStandardPaths>
#include <charconv>
#include <cmath>
#include <limits>

namespace zorvan {

namespace {

QString toKey(const std::string& key) {
    return QString::fromStdString(key);
}

}  // namespace

QSettingsStore::QSettingsStore() = default;

QSettingsStore::QSettingsStore(QString iniPath) : iniPath_(std::move(iniPath)) {}

QSettingsStore::~QSettingsStore() = default;

QSettings& QSettingsStore::settings() {
    if (!settings_) {
        // Organization and application "Zorvan" in the user's configuration
        // folder. The path is spelled out because QSettings would name an INI
        // file of that scope Zorvan.ini, and the calibration tool reads Zorvan.conf.
        const QString path =
            iniPath_.isEmpty()
                ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                      QStringLiteral("/Zorvan/Zorvan.conf")
                : iniPath_;
        settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
    }
    return *settings_;
}

std::int64_t QSettingsStore::integerForKey(const std::string& key) {
    const QVariant value = settings().value(toKey(key));
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
    const QVariant value = settings().value(toKey(key));
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

void QSettingsStore::setIntegerForKey(std::int64_t value, const std::string& key) {
    settings().setValue(toKey(key), static_cast<qlonglong>(value));
}

void QSettingsStore::setFloatForKey(float value, const std::string& key) {
    // The shortest text of the value widened to double: reading it back as a
    // double and narrowing gives exactly this float, with no double rounding.
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, static_cast<double>(value)).ptr;
    settings().setValue(toKey(key), QString::fromLatin1(text, end - text));
}

void QSettingsStore::synchronize() {
    settings().sync();
}

bool QSettingsStore::lastSyncSucceeded() {
    return settings().status() == QSettings::NoError;
}

QString QSettingsStore::fileName() {
    return settings().fileName();
}

}  // namespace zorvan
