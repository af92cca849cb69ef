#pragma once

#include "settingsstore.h"

#include <QSettings>
#include <QString>

// The settings of one application name in the user's configuration folder
// ($XDG_CONFIG_HOME/hix/<name>.conf). Changes stay in memory until flush().
class UserSettingsStore final : public SettingsStore {
public:
    explicit UserSettingsStore(const QString& applicationName);

    // The running executable's file name without folder and extension.
    static QString executableBaseName();

    QString fileName() const;

    std::string GetSetting(const std::string& section, const std::string& key,
        const std::string& defaultValue) const override;
    void SaveSetting(
        const std::string& section, const std::string& key, const std::string& value) override;
    void DeleteSetting(const std::string& section, const std::string& key) override;
    void flush() override;

private:
    QSettings settings;
};
