#pragma once

#include "list/settingsstore.h"
#include "settings/fileworker.h"
#include "settings/ini/inicodec.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct Failure;

// The settings kept in one file, an INI file as QSettings writes it, shared by running copies.
// A change is two requests to the store's worker, begin and finish, as docs/design.md says.
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

    SharedChange beginSharedChange() override;
    Saving finishSharedChange() override;
    void abandonSharedChange() override;
    Refreshed refresh() override;
    bool unread() const override { return unreadable || !held; }
    std::vector<StoreNotice> takeNotices() override;

    // The lock alone, for tests and tools that write the file as another program would. lock()
    // throws std::runtime_error, worded for the user, when others keep the lock for too long.
    void lock();
    void unlock();

private:
    struct Files;
    // Where the current change stands: none begun, begun under the lock, or begun where nothing
    // can be saved (a failure was said).
    enum class Turn { None, Locked, Unsaved };

    template<typename Request>
    auto onWorker(Request request) -> decltype(request());
    ini::Values& edited();
    bool hasUnsavedChanges() const { return changed && *changed != stored; }
    bool take(const std::string& bytes);
    Failure failed();
    void said(const Failure& failure, bool reading = false);
    void notify(const std::string& text);

    std::string filePath;
    // The file and the lock, touched on the worker alone.
    std::shared_ptr<Files> files;
    FileWorker fileWorker;
    // The values as last read or saved, and with the changes not saved yet, where there are any.
    ini::Values stored;
    std::optional<ini::Values> changed;
    Turn turn = Turn::None;
    // The fingerprint of the bytes last read or saved; none before the first read.
    std::optional<std::uint64_t> held;
    // Nothing is written over a file that could not be read while it cannot.
    bool unreadable = false;
    // A file that would not come back as it is written is kept aside before it is written over.
    std::vector<int> misreadLines;
    // The failure said last, until the save or the read it stopped succeeds.
    std::string failedBecause;
    std::vector<StoreNotice> notices;
};
