#pragma once

#include <QString>
#include <QTemporaryDir>
#include <string>

// A private, empty folder to keep settings in: a configuration home (the folder itself, or the
// one below it) with the program's settings folder, hix/, in it.
class SettingsHome {
public:
    explicit SettingsHome(const QString& configBelow = {});

    QString path(const QString& relative = {}) const;
    // Where the settings of the program under that name live in the configuration home.
    QString settingsFile(const QString& name) const;
    // The same, for the settings store.
    std::string settingsPath(const QString& name) const;

private:
    QTemporaryDir folder;
    QString configHome;
};

// A path of the settings store's as Qt's file classes take it.
QString qtFileName(const std::string& path);

// What sits at a path, as far as a save could change it: kind and mode, owner and group, a link's
// target, and a regular file's own bytes by their hash, not those a link leads to; "nothing" where
// nothing is.
QString described(const QString& path);
