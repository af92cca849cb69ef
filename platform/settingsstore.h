#pragma once

#include <string>

// The per-user settings store: string values addressed by section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Returns defaultValue when the key is absent; an existing empty value reads as empty.
    virtual std::string GetSetting(const std::string& section, const std::string& key,
        const std::string& defaultValue) const = 0;
    virtual void SaveSetting(
        const std::string& section, const std::string& key, const std::string& value)
        = 0;
    virtual void DeleteSetting(const std::string& section, const std::string& key) = 0;

    // Makes every change so far durable; throws std::runtime_error when it cannot.
    virtual void flush() = 0;
};
