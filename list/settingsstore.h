#pragma once

#include <string>
#include <vector>

// How the list is stored: its sections and keys, named here for the list that writes them and for
// the store that tells a whole file from one still being written.
namespace storedList {
inline const std::string configSection = "Config";
inline const std::string maxFilesKey = "MAX_FILES";
inline const std::string countKey = "noHIX";
inline const std::string recentFilesSection = "Recent Files";
} // namespace storedList

// Something the user should know about the stored values, said once: that changes could not be
// saved, or anything else worth knowing.
struct StoreNotice {
    std::string text;
    bool failure = false;
    bool operator==(const StoreNotice&) const = default;
};

enum class SharedChange { Unchanged, Reread, Refused };
enum class Saving { Saved, Kept, ReadAgain, Refused };
enum class Refreshed { Unchanged, Changed, Settling };

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
    // folder, a full disk, a disk that stopped answering, a way that may not be trusted), the
    // change is made all the same and its save reports it kept; where nothing may be changed now
    // (another copy or program is changing the values) the begin, or the save, reports it refused.
    // Either way a notice says why, once. Nothing is thrown for a cause of the disk or the file.
    //
    // The begin reads the values as stored now: Reread where they differ from those held before,
    // which drops any change not saved yet (the list makes its kept actions again on them).
    virtual SharedChange beginSharedChange() = 0;
    // Saves every change not saved yet and ends the change, unless it reports ReadAgain: someone
    // saved since the begin, the values are those stored now, and the change is to be made again on
    // them and saved again. A change refused here is abandoned already.
    virtual Saving finishSharedChange() = 0;
    // Drops every change not saved yet and ends the change.
    virtual void abandonSharedChange() = 0;

    // Reads the values as other copies, or people, stored them meanwhile, outside any shared
    // change, without waiting for a writer: Settling where the file is still being written, so
    // that it is looked at again soon.
    virtual Refreshed refresh() = 0;
    // Whether the values stored could not be read; they read as a fresh store's meanwhile.
    virtual bool unread() const = 0;
    // What the user should know, each said once; none when there is nothing.
    virtual std::vector<StoreNotice> takeNotices() = 0;
};
