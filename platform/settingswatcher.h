#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

// Tells when a settings file may have changed, once a burst of changes has settled. A save
// replaces the file by a rename, which blinds a watch on the file alone, so its folder is watched
// too; while the folder does not exist, the nearest folder above it that does.
class SettingsWatcher final : public QObject {
    Q_OBJECT

public:
    explicit SettingsWatcher(const QString& fileName, QObject* parent = nullptr);

signals:
    void changed();

private:
    void watch();

    QString file;
    QFileSystemWatcher watcher;
    QTimer settle;
};
