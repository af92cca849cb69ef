#include "tests/support/settingshome.h"

#include <QFile>
#include <stdexcept>

SettingsHome::SettingsHome(const QString& configBelow)
    : configHome(path(configBelow))
{
    if (!folder.isValid())
        throw std::runtime_error("no temporary folder for a settings home");
}

QString SettingsHome::path(const QString& relative) const
{
    return relative.isEmpty() ? folder.path() : folder.filePath(relative);
}

QString SettingsHome::settingsFile(const QString& name) const
{
    return configHome + QStringLiteral("/hix/%1.conf").arg(name);
}

QString qtFileName(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string SettingsHome::settingsPath(const QString& name) const
{
    return QFile::encodeName(settingsFile(name)).toStdString();
}
