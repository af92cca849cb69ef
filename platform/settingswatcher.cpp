#include "platform/settingswatcher.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int settleMs = 100;

// The folder itself where it exists, else the nearest one above it that does, whose change is
// the first sign that the folder is made again.
QString nearestFolder(QString folder)
{
    while (!QFileInfo(folder).isDir()) {
        const QString above = QFileInfo(folder).path();
        if (above == folder)
            break;
        folder = above;
    }
    return folder;
}

} // namespace

SettingsWatcher::SettingsWatcher(const QString& fileName, QObject* parent)
    : QObject(parent)
    , file(fileName)
{
    settle.setSingleShot(true);
    settle.setInterval(settleMs);
    connect(&settle, &QTimer::timeout, this, &SettingsWatcher::changed);
    const auto changedPath = [this] {
        watch();
        settle.start();
    };
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, changedPath);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, changedPath);
    watch();
}

void SettingsWatcher::watch()
{
    const QFileInfo info(file);
    QStringList wanted{nearestFolder(info.path())};
    if (info.exists())
        wanted << file;
    // A file that links elsewhere is replaced where it lives.
    if (info.isSymLink())
        wanted << nearestFolder(QFileInfo(info.symLinkTarget()).path());
    const QStringList watched = watcher.files() + watcher.directories();
    for (const QString& path : watched) {
        if (!wanted.contains(path))
            watcher.removePath(path);
    }
    for (const QString& path : std::as_const(wanted)) {
        if (!watched.contains(path))
            watcher.addPath(path);
    }
}
