#pragma once

#include "list/settingsstore.h"

#include <cstdint>
#include <string>
#include <vector>

class Form;
class MessageBox;
class TextBox;

// The recent-files list. Its in-memory copy is the window's "mnuHIX" menu entries; the settings
// store holds the copy that survives restarts. A new HIX is in the program-start state.
//
// The procedures from RestoreList down are the list's own steps, kept to its rules step for
// step: they call each other in a fixed order and read back values they have just stored, which
// is how the stored value, not the one meant, takes effect. A change that "simplifies" either
// changes what the user sees.
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
    // The restore as the program starts: a first run's defaults are then saved like any change,
    // unless another copy saved first.
    void StartUp(Form& form);
    // Shows the list as stored now, by the start-up rules but without the welcome. The maximum
    // box is updated only while it shows what the program last put there, not what the user typed.
    void ReloadList();
    // Shows the prompt for a maximum that is no number, and puts the fallback in the box.
    void CheckTypedMaximum();
    // Runs one change of the list as one step between running copies: under the store's lock, on
    // the list as stored now, saved before the lock is released. The prompt for the maximum comes
    // first, so that no copy waits on a user. A change that fails half-way leaves the list as
    // stored.
    template<typename Change>
    void changeShared(Change change);
    // Shows the list as another copy, or a person, left it in the store, when it changed there.
    void refreshFromStore();
    // What the user should know about the stored list, each said once.
    std::vector<StoreNotice> takeStoreNotices();
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
    void restoreStoredList(bool keepTypedMaximum);
    std::int16_t firstRunMaximumFromStore() const;
    void showMaximum(std::int16_t value);
    void showMaximumUnlessTyped(std::int16_t value);

    SettingsStore& store;
    MessageBox& messageBox;
    State current;
    std::string shownMaximum;
};

template<typename Change>
void HIX::changeShared(Change change)
{
    CheckTypedMaximum();
    const bool storedChanged = store.beginSharedChange();
    try {
        if (storedChanged)
            ReloadList();
        change();
    } catch (...) {
        store.abandonSharedChange();
        ReloadList();
        throw;
    }
    store.finishSharedChange();
}
