#pragma once

#include <cstdint>
#include <string>

class Form;
class MessageBox;
class SettingsStore;
class TextBox;

// The recent-files list. Its in-memory copy is the window's "mnuHIX" menu entries; the settings
// store holds the copy that survives restarts. A new HIX is in the program-start state.
class HIX {
public:
    struct State {
        Form* mainForm = nullptr;
        TextBox* maxTextBox = nullptr;
        std::int16_t entryCount = 0;
        std::int16_t maxEntries = 0;
    };

    HIX(SettingsStore& store, MessageBox& messageBox);

    const State& state() const { return current; }

    void RestoreList(Form& form);
    void OpenPath(const std::string& path);
    void ValidateMaximum();
    void ApplyMaximum();

    void AddNewPath(const std::string& path);
    void GrowList();
    void PushStoredPath(const std::string& path);
    void RefreshCaptions();

    void ShowEntry(std::int16_t index, const std::string& path);
    void RevealList();
    void LogPath(const std::string& path);

private:
    Form& form() const;
    TextBox& maxTextBox() const;
    std::string storedPath(std::int16_t position) const;
    void storePath(std::int16_t position, const std::string& path);
    std::int16_t readCounter(const std::string& key, std::int16_t defaultValue) const;
    void saveCounter(const std::string& key, std::int16_t value);
    void promote(std::int16_t index, const std::string& path);

    SettingsStore& store;
    MessageBox& messageBox;
    State current;
};
