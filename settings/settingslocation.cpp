#include "settings/settingslocation.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

bool isAbsolute(const char* path)
{
    return path && path[0] == '/';
}

// A file name has at most 255 bytes, the names the store makes beside the settings file included.
std::string fileNameFor(const std::string& programName)
{
    constexpr std::size_t longest = NAME_MAX - longestNameAddedBeside;
    if (programName.size() <= longest)
        return programName + ".conf";
    const QByteArray hash = QCryptographicHash::hash(
        QByteArray::fromStdString(programName), QCryptographicHash::Sha256)
                                .toHex()
                                .left(16);
    std::size_t kept = longest - 1 - std::size_t(hash.size());
    // Not in the middle of a UTF-8 character.
    while (kept > 0 && (static_cast<unsigned char>(programName[kept]) & 0xC0) == 0x80)
        --kept;
    return programName.substr(0, kept) + '-' + hash.toStdString() + ".conf";
}

} // namespace

std::string settingsFilePath(
    const std::string& programName, const char* configHome, const char* home)
{
    if (isAbsolute(configHome))
        return std::string(configHome) + "/hix/" + fileNameFor(programName);
    if (!isAbsolute(home)) {
        const passwd* user = ::getpwuid(::getuid());
        home = user ? user->pw_dir : nullptr;
    }
    return (isAbsolute(home) ? std::string(home) : std::string()) + "/.config/hix/"
        + fileNameFor(programName);
}

std::string settingsFilePath(const std::string& programName)
{
    return settingsFilePath(programName, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

std::string programName()
{
    std::string path(PATH_MAX, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0)
        return programName(
            QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
    path.resize(std::size_t(length));
    // An executable replaced while it runs, as an upgrade does, is named so.
    constexpr std::string_view replaced = " (deleted)";
    if (path.ends_with(replaced))
        path.resize(path.size() - replaced.size());
    return programName(path);
}

std::string programName(std::string_view executablePath)
{
    const std::string_view file = executablePath.substr(executablePath.rfind('/') + 1);
    return std::string(file.substr(0, file.rfind('.')));
}
