#include "tests/support/settingshome.h"

#include <QFile>
#include <stdexcept>

SettingsHome::SettingsHome(const QString& configBelow)
    : configHome(path(configBelow))
    , saved(qgetenv("XDG_CONFIG_HOME"))
{
    if (!folder.isValid())
        throw std::runtime_error("no temporary folder for a settings home");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));
}

SettingsHome::~SettingsHome()
{
    qputenv("XDG_CONFIG_HOME", saved);
}

QString SettingsHome::path(const QString& relative) const
{
    return relative.isEmpty() ? folder.path() : folder.filePath(relative);
}

QString SettingsHome::settingsFile(const QString& name) const
{
    return configHome + QStringLiteral("/hix/%1.conf").arg(name);
}
