#pragma once

#include <string>

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
    // is finished or abandoned. Each throws std::runtime_error when the values cannot be locked,
    // read or saved; a begin that throws leaves nothing begun, and the others end the change
    // whatever they throw. The begin, like a refresh, returns whether the stored values differ
    // from those read before; where they do, any change not saved yet is dropped.
    virtual bool beginSharedChange() = 0;
    // Saves every change not saved yet.
    virtual void finishSharedChange() = 0;
    // Drops every change not saved yet.
    virtual void abandonSharedChange() = 0;

    // Reads the values as other copies, or people, stored them meanwhile, outside any shared
    // change.
    virtual bool refresh() = 0;
    // Something the user should know about the stored values, once; empty when there is nothing.
    virtual std::string takeNotice() = 0;
};
