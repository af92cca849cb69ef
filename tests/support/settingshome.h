#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A private, empty folder whose configuration home (the folder itself, or the one below it) is
// XDG_CONFIG_HOME while it lives.
class SettingsHome {
public:
    explicit SettingsHome(const QString& configBelow = {});
    ~SettingsHome();
    SettingsHome(const SettingsHome&) = delete;
    SettingsHome& operator=(const SettingsHome&) = delete;

    QString path(const QString& relative = {}) const;
    // Where the store of that name keeps its file, in the configuration home.
    QString settingsFile(const QString& name) const;

private:
    QTemporaryDir folder;
    QString configHome;
    QByteArray saved;
};
