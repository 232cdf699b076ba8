#include "platform/settings_file_update.h"

#include <stdio.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>

#include "platform/settings_file.h"

namespace zorvan {

namespace {

constexpr int kLockWaitMs = 2000;

std::string errorText(int error) {
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

SettingsFileUpdate writeFailed(std::string reason) {
    return {SettingsFileUpdate::Status::WriteFailed, std::move(reason)};
}

// Why nothing could be written beside `file`, as far as the system tells.
std::string folderFailure(const QString& file) {
    const QByteArray dir = QFile::encodeName(QFileInfo(file).absolutePath());
    return ::access(dir.constData(), W_OK) != 0 ? errorText(errno) : "the write failed";
}

}  // namespace

SettingsFileUpdate updateSettingsFile(const QString& path,
                                      const std::function<void(QSettings&)>& edit) {
    using Status = SettingsFileContents::Status;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    // A link is written through to the file it names, as QSettings does.
    const QFileInfo info(absolute);
    const QString file = info.exists() ? info.canonicalFilePath() : absolute;
    const std::string native = QFile::encodeName(file).toStdString();

    // The first write makes the folder, as QSettings does.
    QDir().mkpath(QFileInfo(absolute).absolutePath());
    // QSettings names its lock after the path it was given: so do we.
    QLockFile lock(absolute + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs)) {
        return writeFailed(lock.error() == QLockFile::LockFailedError
                               ? "it is locked by another program"
                               : folderFailure(absolute));
    }
    const SettingsFileContents contents = readSettingsFile(native);
    if (contents.status != Status::Read && contents.status != Status::Missing) {
        return {SettingsFileUpdate::Status::NotRead, settingsFileProblem(native, contents)};
    }
    if (contents.status == Status::Read && ::access(native.c_str(), W_OK) != 0) {
        return writeFailed(errorText(errno));  // read-only on purpose: keep it
    }

    QTemporaryFile next(file + QStringLiteral(".XXXXXX"));
    if (!next.open()) {
        return writeFailed(folderFailure(file));
    }
    next.setPermissions(contents.status == Status::Read
                            ? QFileInfo(file).permissions()
                            : QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  QFileDevice::ReadGroup | QFileDevice::ReadOther);
    const auto size = static_cast<qint64>(contents.bytes.size());
    if (next.write(contents.bytes.data(), size) != size || !next.flush()) {
        return writeFailed(next.errorString().toStdString());
    }
    {
        QSettings settings(next.fileName(), QSettings::IniFormat);
        edit(settings);
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            return writeFailed("the write failed");
        }
    }
    if (::rename(QFile::encodeName(next.fileName()).constData(), native.c_str()) != 0) {
        return writeFailed(errorText(errno));
    }
    next.setAutoRemove(false);
    return {};
}

}  // namespace zorvan
