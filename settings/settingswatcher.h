#pragma once

#include "settings/descriptor.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <string>
#include <vector>

// Tells, a tenth of a second after the first of a burst of changes however long the burst goes
// on, that the settings file may have changed. The file and every folder on its way are watched
// by name, not by inode: a save that renames a new file into place, a folder moved away and made
// again, or an old file that another program still holds open never leave the watch on something
// that is no longer the settings. Nothing wakes the program while nothing changes.
class SettingsWatcher final : public QObject {
    Q_OBJECT

public:
    explicit SettingsWatcher(std::string filePath, QObject* parent = nullptr);

signals:
    void changed();

private:
    // A folder watched for what happens to one name in it; for the file's own folder, also for
    // what is written to that name.
    struct Step {
        int watch;
        std::string name;
    };

    void watch();
    void watchWay(const std::string& path);
    void readEvents();

    std::string file;
    Descriptor inotify;
    QSocketNotifier notifier;
    std::vector<Step> steps;
    QTimer throttle;
};
