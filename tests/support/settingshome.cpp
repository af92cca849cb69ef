#include "tests/support/settingshome.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>
#include <sys/stat.h>

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

QString described(const QString& path)
{
    struct stat info { };
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QStringLiteral("nothing");
    QFile file(path);
    QCryptographicHash bytes(QCryptographicHash::Sha256);
    if (S_ISREG(info.st_mode) && file.open(QIODevice::ReadOnly))
        bytes.addData(&file);
    return QStringLiteral("%1 %2:%3 %4 %5")
        .arg(info.st_mode, 0, 8)
        .arg(info.st_uid)
        .arg(info.st_gid)
        .arg(QString::fromLatin1(bytes.result().toHex()))
        .arg(QFileInfo(path).symLinkTarget());
}

std::string SettingsHome::settingsPath(const QString& name) const
{
    return QFile::encodeName(settingsFile(name)).toStdString();
}
