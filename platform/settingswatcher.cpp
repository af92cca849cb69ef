#include "settingswatcher.h"

#include <QFileInfo>

namespace {

constexpr int settleMs = 100;

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
    const QString folder = info.path();
    QStringList wanted;
    if (QFileInfo::exists(folder)) {
        wanted << folder;
        if (info.exists())
            wanted << file;
    } else {
        wanted << QFileInfo(folder).path();
    }
    QStringList watched = watcher.files() + watcher.directories();
    for (const QString& path : std::as_const(watched)) {
        if (!wanted.contains(path))
            watcher.removePath(path);
    }
    for (const QString& path : std::as_const(wanted)) {
        if (!watched.contains(path))
            watcher.addPath(path);
    }
}
