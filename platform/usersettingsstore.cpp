#include "usersettingsstore.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>
#include <stdexcept>

namespace {

QString settingsKey(const std::string& section, const std::string& key)
{
    return QString::fromStdString(section) + u'/' + QString::fromStdString(key);
}

QString describe(QSettings::Status status)
{
    switch (status) {
    case QSettings::NoError:
        break;
    case QSettings::AccessError:
        return QStringLiteral("the file or its folder cannot be written");
    case QSettings::FormatError:
        return QStringLiteral("the file is not a valid settings file");
    }
    return {};
}

} // namespace

UserSettingsStore::UserSettingsStore(const QString& applicationName)
    : settings(
        QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("hix"), applicationName)
{
}

QString UserSettingsStore::executableBaseName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString UserSettingsStore::fileName() const
{
    return settings.fileName();
}

std::string UserSettingsStore::GetSetting(
    const std::string& section, const std::string& key, const std::string& defaultValue) const
{
    const QVariant value = settings.value(settingsKey(section, key));
    if (!value.isValid())
        return defaultValue;
    // A hand-written value with unquoted commas reads as a list; keep what was written.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", ")).toStdString();
    return value.toString().toStdString();
}

void UserSettingsStore::SaveSetting(
    const std::string& section, const std::string& key, const std::string& value)
{
    settings.setValue(settingsKey(section, key), QString::fromStdString(value));
}

void UserSettingsStore::DeleteSetting(const std::string& section, const std::string& key)
{
    settings.remove(settingsKey(section, key));
}

void UserSettingsStore::flush()
{
    // A QSettings keeps its first error for good. A second one over the same file shares the
    // pending changes and reports on this attempt alone.
    QSettings attempt(settings.fileName(), settings.format());
    attempt.sync();
    const QSettings::Status status = attempt.status();
    if (status != QSettings::NoError) {
        const QString message = QStringLiteral("Could not save the settings to %1: %2.")
                                    .arg(settings.fileName(), describe(status));
        throw std::runtime_error(message.toStdString());
    }
}
