#pragma once

#include "settingsstore.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

// The settings of one application name in the user's configuration folder
// ($XDG_CONFIG_HOME/hix/<name>.conf), an INI file. Changes stay in memory until flush(), which
// replaces the file atomically and durably. Running copies share the file through a lock file
// beside it.
class UserSettingsStore final : public SettingsStore {
public:
    explicit UserSettingsStore(const QString& applicationName);
    ~UserSettingsStore() override;
    UserSettingsStore(const UserSettingsStore&) = delete;
    UserSettingsStore& operator=(const UserSettingsStore&) = delete;

    // The running executable's file name without folder and extension.
    static QString executableBaseName();

    // Copies killed while they parsed or serialised settings leave scratch files behind; a copy
    // clears those of ended copies once it is up, where the time it takes does not delay it.
    static void removeScratchFilesOfEndedCopies();

    QString fileName() const;

    std::string GetSetting(const std::string& section, const std::string& key,
        const std::string& defaultValue) const override;
    void SaveSetting(
        const std::string& section, const std::string& key, const std::string& value) override;
    void DeleteSetting(const std::string& section, const std::string& key) override;

    void lock() override;
    void unlock() override;
    bool reload() override;
    void revert() override;
    bool hasUnsavedChanges() const override;
    void flush() override;
    std::string takeNotice() override;

    // What tells one version of the file from another: a stat of the file, not a read.
    struct FileStamp {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 modified = 0;
        qint64 changed = 0;
        bool operator==(const FileStamp&) const = default;
    };
    FileStamp currentStamp() const;

private:
    using Values = QMap<QString, QVariant>;

    void read();
    void pin(int descriptor);
    void keepUnreadableCopy();

    QString path;
    int lockDescriptor = -1;
    Values stored;
    Values values;
    FileStamp stamp;
    // The file last read or written stays open, so that no newer file can take its inode number
    // and pass for it.
    int pinned = -1;
    QString readFailure;
    QByteArray unreadableBytes;
    // What copies killed while they saved left is removed once, at the first save.
    bool unfinishedSavesRemoved = false;
    std::string notice;
};
