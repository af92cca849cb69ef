#pragma once

#include "settings/fileworker.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>
#include <string>

// Tells, a tenth of a second after the first of a burst of changes however long the burst goes
// on, that the settings file may have changed. The file and every folder on its way are watched
// by name, not by inode: a save that renames a new file into place, a folder moved away and made
// again, or an old file that another program still holds open never leave the watch on something
// that is no longer the settings. The watches are set up on the store's worker, since setting one
// up looks the path up on a disk that may not answer. Nothing wakes the program while nothing
// changes.
class SettingsWatcher final : public QObject {
    Q_OBJECT

public:
    SettingsWatcher(std::string filePath, FileWorker& worker, QObject* parent = nullptr);

signals:
    void changed();

private:
    struct Watches;

    void readEvents();

    std::shared_ptr<Watches> watches;
    FileWorker& worker;
    QSocketNotifier notifier;
    QTimer throttle;
};
