#pragma once

#include "list/settingsstore.h"
#include "settings/fileworker.h"
#include "settings/ini/inicodec.h"

#include <memory>
#include <optional>
#include <vector>

struct Untrusted;

// The settings kept in one file, an INI file as QSettings writes it. Changes stay in memory until
// flush(), which replaces the file atomically and durably. Running copies share the file through
// a lock file beside it. Every call that touches the disk runs on the store's worker, which the
// caller waits for only so long: a disk that stops answering makes the store's work fail at once
// until the disk answers again, and never holds up the caller.
class UserSettingsStore final : public SettingsStore {
public:
    // A wait for the disk ends as soon as cutWaitsShortBy, where there is one, is readable.
    explicit UserSettingsStore(std::string filePath, int cutWaitsShortBy = -1);
    ~UserSettingsStore() override;

    const std::string& path() const { return filePath; }
    // Where the store's file work runs, for whatever else must touch the disk there.
    FileWorker& worker() { return fileWorker; }

    std::string GetSetting(const std::string& section, const std::string& key,
        const std::string& defaultValue) const override;
    void SaveSetting(
        const std::string& section, const std::string& key, const std::string& value) override;
    void DeleteSetting(const std::string& section, const std::string& key) override;

    bool beginSharedChange() override;
    void finishSharedChange() override;
    void abandonSharedChange() override;
    bool refresh() override;
    bool unread() const override;
    std::vector<StoreNotice> takeNotices() override;

    // The steps a shared change is made of. lock() throws std::runtime_error when others keep
    // the lock for too long; reload() is refresh(); flush() saves every change so far and keeps
    // it for the next flush where it cannot.
    void lock();
    void unlock();
    bool reload();
    void revert();
    bool hasUnsavedChanges() const;
    void flush();

private:
    struct Files;

    template<typename Request>
    auto onWorker(Request request) -> decltype(request());
    ini::Values& edited();
    void take(const std::string& bytes);
    void distrust(const Untrusted& why);
    void keepUnreadableFile();
    void cannotSave(const std::string& why);
    void cannotRead(const std::string& why);
    void failedOnce(const std::string& text);
    void notify(const std::string& text);
    [[noreturn]] void fail(const std::string& message);

    std::string filePath;
    // The file and the lock, touched on the worker alone.
    std::shared_ptr<Files> files;
    FileWorker fileWorker;
    ini::Values stored;
    // The values with the changes not saved yet; none until the first change.
    std::optional<ini::Values> changed;
    bool holdingLock = false;
    bool lockAsked = false;
    bool untrusted = false;
    // A read whose answer was lost: the worker must forget what it read, so that it reads again.
    bool readLost = false;
    bool neverRead = true;
    // Nothing is written over a file that could not be read; the next change tries again.
    std::optional<std::string> readFailure;
    // A file that would not come back as it is written is kept aside before it is written over.
    bool keepBeforeWriting = false;
    std::vector<int> misreadLines;
    // The failure said last, until the save or the read it stopped succeeds.
    std::string failedBecause;
    std::vector<StoreNotice> notices;
};
