#pragma once

#include "list/settingsstore.h"

#include <cstdint>
#include <functional>
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
    // What the user did to the list, as it is kept until it is saved: opened a path, or applied
    // the maximum, with the maximum box as the user left it either way.
    struct UserAction {
        enum class Kind { OpenPath, ApplyMaximum };
        Kind kind;
        std::string path;
        std::string typedMaximum;
    };

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
    void startUp(Form& form);
    // Shows the list as stored now, by the start-up rules but without the welcome. The maximum
    // box is updated only while it shows what the program last put there, not what the user typed.
    void reloadList();
    // Shows the prompt for a maximum that is no number, and puts the fallback in the box.
    void checkTypedMaximum();

    // The user's actions, each one change shared with the other copies: the prompt for the
    // maximum comes first, so that no copy waits on a user. An action whose save is kept (the
    // store could not save it now) stands in the list and is kept as the action, to be made again
    // on the list as stored by the next change, whoever saved in between, until a save succeeds.
    void open(const std::string& path);
    void submitMaximum();
    // Saves what is kept, made again on the list as stored now, without asking anything.
    void saveKept();
    bool hasKept() const { return !kept.empty(); }

    // Runs one change of the list as one step between running copies: under the store's lock,
    // on the list as stored now with the kept actions made again on it, saved before the lock is
    // released, and made again where someone saved meanwhile. A change that fails half-way leaves
    // the list as stored. Returns how its save went.
    Saving changeShared(const std::function<void()>& change);
    // Shows the list as another copy, or a person, left it in the store, when it changed there;
    // Settling where it is still being written, to be looked at again soon.
    Refreshed refreshFromStore();
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
    void act(UserAction action);
    void perform(const UserAction& action);
    void reloadWithKept();
    std::int16_t firstRunMaximumFromStore() const;
    void showMaximum(std::int16_t value);
    void showMaximumUnlessTyped(std::int16_t value);

    SettingsStore& store;
    MessageBox& messageBox;
    State current;
    std::string shownMaximum;
    std::vector<UserAction> kept;
    // While kept actions are made again, nothing is logged a second time.
    bool replaying = false;
};
