#pragma once

#include "list/settingsstore.h"
#include "settings/ini/inicodec.h"
#include "settings/lockfile.h"
#include "settings/settingsfile.h"

#include <QString>
#include <optional>
#include <vector>

// The settings kept in one file, an INI file as QSettings writes it. Changes stay in memory until
// flush(), which replaces the file atomically and durably. Running copies share the file through
// a lock file beside it.
class UserSettingsStore final : public SettingsStore {
public:
    explicit UserSettingsStore(std::string filePath);

    const std::string& path() const { return file.path(); }
    // The path for Qt's file classes.
    QString fileName() const;

    std::string GetSetting(const std::string& section, const std::string& key,
        const std::string& defaultValue) const override;
    void SaveSetting(
        const std::string& section, const std::string& key, const std::string& value) override;
    void DeleteSetting(const std::string& section, const std::string& key) override;

    bool beginSharedChange() override;
    void finishSharedChange() override;
    void abandonSharedChange() override;
    bool refresh() override;
    std::string takeNotice() override;

    // The steps a shared change is made of. lock() throws std::runtime_error when another copy
    // keeps the lock for too long; reload() is refresh(); flush() makes every change so far
    // durable, or throws std::runtime_error and keeps the changes for the next flush.
    void lock();
    void unlock();
    bool reload();
    void revert();
    bool hasUnsavedChanges() const;
    void flush();

private:
    ini::Values& edited();
    void take(const std::string& bytes);
    bool fileTrusted();
    [[noreturn]] void fail(const std::string& message);
    void keepUnreadableFile();

    SettingsFile file;
    LockFile lockFile;
    ini::Values stored;
    // The values with the changes not saved yet; none until the first change.
    std::optional<ini::Values> changed;
    bool holdingLock = false;
    bool untrusted = false;
    // Nothing is written over a file that could not be read; the next change tries again.
    std::optional<std::string> readFailure;
    // A file that would not come back as it is written is kept aside before it is written over.
    bool keepBeforeWriting = false;
    std::vector<int> misreadLines;
    std::string notice;
};
