#pragma once

#include <string>

// The per-user settings store: string values addressed by section and key. Running copies of the
// program share it; each change is made under the store's lock, on the values as stored.
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

    // Keeps other copies from changing the stored values until unlock(); throws
    // std::runtime_error when another copy holds them for too long.
    virtual void lock() = 0;
    virtual void unlock() = 0;
    // When the stored values changed since they were last read, reads them again, dropping any
    // unsaved change; returns whether it did. A file touched but holding the same values keeps
    // the unsaved changes.
    virtual bool reload() = 0;
    // Drops every unsaved change.
    virtual void revert() = 0;
    virtual bool hasUnsavedChanges() const = 0;
    // Makes every change so far durable; throws std::runtime_error when it cannot.
    virtual void flush() = 0;
    // Something the user should know about the stored values, once; empty when there is nothing.
    virtual std::string takeNotice() = 0;
};

// Holds the store's lock for one scope.
class SettingsLock {
public:
    explicit SettingsLock(SettingsStore& store)
        : store(store)
    {
        store.lock();
    }
    ~SettingsLock() { store.unlock(); }
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

private:
    SettingsStore& store;
};
