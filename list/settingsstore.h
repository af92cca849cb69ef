#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A file store keeps files of its own beside its settings file, named after it with at most this
// many bytes more: "<file>.unreadable-<date>-<time>-<n>", "<file>.saving-<process>", "<file>.lock".
inline constexpr std::size_t longestNameAddedBeside = 40;

// Something the user should know about the stored values, said once: that changes could not be
// saved, or anything else worth knowing.
struct StoreNotice {
    std::string text;
    bool failure = false;
    bool operator==(const StoreNotice&) const = default;
};

// The per-user settings store: string values addressed by section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // The store's three operations. What SaveSetting and DeleteSetting change is kept in memory
    // until a shared change saves it. GetSetting returns defaultValue when the key is absent; an
    // existing empty value reads as empty.
    virtual std::string GetSetting(const std::string& section, const std::string& key,
        const std::string& defaultValue) const = 0;
    virtual void SaveSetting(
        const std::string& section, const std::string& key, const std::string& value)
        = 0;
    virtual void DeleteSetting(const std::string& section, const std::string& key) = 0;

    // Running copies of the program share the stored values, and each change of the list is one
    // shared change: begun on the values as stored now, with the other copies kept out until it
    // is finished or abandoned. Where the values cannot be read or saved for a while (a read-only
    // folder, a full disk, a disk that stopped answering), the change is made all the same and
    // kept for a later save, and a notice says why, once. Each throws std::runtime_error where
    // nothing may be changed now (another copy or program is changing the values); a begin that
    // throws leaves nothing begun, and the others end the change whatever they throw. The begin,
    // like a refresh, returns whether the stored values differ from those read before; where
    // they do, any change not saved yet is dropped.
    virtual bool beginSharedChange() = 0;
    // Saves every change not saved yet.
    virtual void finishSharedChange() = 0;
    // Drops every change not saved yet.
    virtual void abandonSharedChange() = 0;

    // Reads the values as other copies, or people, stored them meanwhile, outside any shared
    // change.
    virtual bool refresh() = 0;
    // Whether the values stored could not be read; they read as a fresh store's meanwhile.
    virtual bool unread() const = 0;
    // What the user should know, each said once; none when there is nothing.
    virtual std::vector<StoreNotice> takeNotices() = 0;
};
