#include "window/settingslocation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

bool isAbsolute(const char* path)
{
    return path && path[0] == '/';
}

} // namespace

std::string settingsFilePath(
    const std::string& applicationName, const char* configHome, const char* home)
{
    if (isAbsolute(configHome))
        return std::string(configHome) + "/hix/" + applicationName + ".conf";
    if (!isAbsolute(home)) {
        const passwd* user = ::getpwuid(::getuid());
        home = user ? user->pw_dir : nullptr;
    }
    return (isAbsolute(home) ? std::string(home) : std::string()) + "/.config/hix/"
        + applicationName + ".conf";
}

std::string settingsFilePath(const std::string& applicationName)
{
    return settingsFilePath(applicationName, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

QString executableBaseName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}
