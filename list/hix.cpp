#include "list/hix.h"

#include "list/caption.h"
#include "list/counters.h"
#include "list/form.h"
#include "list/messagebox.h"
#include "list/numeric.h"
#include "list/settingsstore.h"

#include <algorithm>
#include <stdexcept>

namespace {

using storedList::configSection;
using storedList::maxFilesKey;
using storedList::recentFilesSection;
const std::string& entryCountKey = storedList::countKey;
const std::string notANumberPrompt = "Please input a number in future, ok";

constexpr std::int16_t firstRunMaximum = 3;
constexpr std::int16_t fallbackMaximum = 4;
constexpr std::int16_t lowestMaximum = 1;
constexpr std::int16_t highestMaximum = 20;

bool isValidMaximum(int value)
{
    return value >= lowestMaximum && value <= highestMaximum;
}

// Set while kept actions are made again.
class Replaying {
public:
    explicit Replaying(bool& flag)
        : flag(flag)
    {
        flag = true;
    }
    ~Replaying() { flag = false; }
    Replaying(const Replaying&) = delete;
    Replaying& operator=(const Replaying&) = delete;

private:
    bool& flag;
};

template<typename Member>
Member& bound(Member* member)
{
    if (!member)
        throw std::logic_error("The recent-files list is not bound to a window yet.");
    return *member;
}

} // namespace

HIX::HIX(SettingsStore& store, MessageBox& messageBox)
    : store(store)
    , messageBox(messageBox)
{
}

void HIX::RestoreList(Form& form)
{
    current.mainForm = &form;
    current.maxTextBox = &form.maxHixTxt();

    if (storedPath(1).empty()) {
        // A list that exists but cannot be read is no first run.
        if (!store.unread())
            messageBox.show("Welcome to Aldo Veskin's HIX Demo", "HIX Demo - A. Veskin");
        saveCounter(entryCountKey, current.entryCount);
        current.maxEntries = firstRunMaximumFromStore();
        saveCounter(maxFilesKey, current.maxEntries);
        showMaximum(current.maxEntries);
        return;
    }
    restoreStoredList(false);
}

void HIX::startUp(Form& form)
{
    const bool firstRun = storedPath(1).empty();
    RestoreList(form);
    if (firstRun)
        changeShared([] {});
}

void HIX::reloadList()
{
    if (!storedPath(1).empty()) {
        restoreStoredList(true);
        return;
    }
    MenuEntryArray& entries = form().mnuHIX();
    while (entries.count() > 1)
        entries.unload(entries.count());
    entries.setTag(1, {});
    entries.setCaption(1, {});
    entries.setVisible(1, false);
    form().mnuBar1().setVisible(false);
    current.entryCount = 0;
    current.maxEntries = firstRunMaximumFromStore();
    showMaximumUnlessTyped(current.maxEntries);
}

Refreshed HIX::refreshFromStore()
{
    const Refreshed refreshed = store.refresh();
    if (refreshed == Refreshed::Changed)
        reloadWithKept();
    return refreshed;
}

void HIX::open(const std::string& path)
{
    act({UserAction::Kind::OpenPath, path, {}});
}

void HIX::submitMaximum()
{
    act({UserAction::Kind::ApplyMaximum, {}, {}});
}

void HIX::act(UserAction action)
{
    checkTypedMaximum();
    action.typedMaximum = maxTextBox().text();
    if (changeShared([&] { perform(action); }) == Saving::Kept)
        kept.push_back(std::move(action));
}

void HIX::saveKept()
{
    if (!kept.empty())
        changeShared([] {});
}

Saving HIX::changeShared(const std::function<void()>& change)
{
    switch (store.beginSharedChange()) {
    case SharedChange::Refused:
        return Saving::Refused;
    case SharedChange::Reread:
        reloadWithKept();
        break;
    case SharedChange::Unchanged:
        break;
    }
    try {
        change();
        for (;;) {
            const Saving saving = store.finishSharedChange();
            if (saving == Saving::Saved)
                kept.clear();
            if (saving == Saving::Refused)
                reloadWithKept();
            if (saving != Saving::ReadAgain)
                return saving;
            reloadWithKept();
            const Replaying again(replaying);
            change();
        }
    } catch (...) {
        store.abandonSharedChange();
        reloadWithKept();
        throw;
    }
}

void HIX::perform(const UserAction& action)
{
    maxTextBox().setText(action.typedMaximum);
    if (action.kind == UserAction::Kind::OpenPath)
        OpenPath(action.path);
    else
        ApplyMaximum();
}

// The list as stored, with every kept action made again on it. What the user has typed into the
// maximum box since stays there.
void HIX::reloadWithKept()
{
    reloadList();
    if (kept.empty())
        return;
    const std::string typed = maxTextBox().text();
    const bool typedSince = typed != shownMaximum;
    {
        const Replaying again(replaying);
        for (const UserAction& action : kept)
            perform(action);
    }
    if (typedSince)
        maxTextBox().setText(typed);
}

std::vector<StoreNotice> HIX::takeStoreNotices()
{
    return store.takeNotices();
}

void HIX::checkTypedMaximum()
{
    if (convertToInt16(maxTextBox().text()).kind == Int16Conversion::Kind::NotNumeric) {
        messageBox.show(notANumberPrompt);
        // The fallback stands for what the user typed, so a reload leaves it alone too.
        maxTextBox().setText(std::to_string(fallbackMaximum));
    }
}

void HIX::restoreStoredList(bool keepTypedMaximum)
{
    current.maxEntries = readCounter(maxFilesKey, 0);
    // A hand-edited count must not create more entries than any maximum allows.
    current.entryCount = std::clamp<std::int16_t>(readCounter(entryCountKey, 0), 0, highestMaximum);
    if (keepTypedMaximum)
        showMaximumUnlessTyped(current.maxEntries);
    else
        showMaximum(current.maxEntries);
    form().mnuBar1().setVisible(true);
    MenuEntryArray& entries = form().mnuHIX();
    while (entries.count() > std::max<int>(1, current.entryCount))
        entries.unload(entries.count());
    if (current.entryCount == 0) {
        entries.setTag(1, {});
        entries.setCaption(1, {});
        entries.setVisible(1, false);
    }
    for (const std::int16_t i : indexes(1, current.entryCount)) {
        const std::string path = storedPath(i);
        if (i > entries.count())
            entries.load(i);
        ShowEntry(i, path);
        entries.setVisible(i, true);
    }
}

// A maximum the user already chose outlives a first run; only a missing or invalid one becomes 3.
std::int16_t HIX::firstRunMaximumFromStore() const
{
    const std::int16_t stored = readCounter(maxFilesKey, current.maxEntries);
    return isValidMaximum(stored) ? stored : firstRunMaximum;
}

void HIX::showMaximum(std::int16_t value)
{
    shownMaximum = std::to_string(value);
    maxTextBox().setText(shownMaximum);
}

void HIX::showMaximumUnlessTyped(std::int16_t value)
{
    if (maxTextBox().text() == shownMaximum)
        showMaximum(value);
}

void HIX::OpenPath(const std::string& path)
{
    MenuEntryArray& entries = form().mnuHIX();
    const std::int16_t last = entries.count();
    for (const std::int16_t i : indexes(1, last)) {
        if (path == entries.tag(i)) {
            promote(i, path);
            break;
        }
        if (entries.count() == i) {
            AddNewPath(path);
            break;
        }
    }
    ApplyMaximum();
}

void HIX::promote(std::int16_t index, const std::string& path)
{
    MenuEntryArray& entries = form().mnuHIX();
    for (const std::int16_t j : indexesDown(checkedInt16(index - 1), 1)) {
        const std::string moved = entries.tag(j);
        ShowEntry(checkedInt16(j + 1), moved);
    }
    ShowEntry(1, path);
    // The store follows the menu, so a later addition, trim or restart keeps the new order.
    if (index != 1) {
        for (const std::int16_t position : indexes(1, index))
            storePath(position, entries.tag(position));
    }
    LogPath(path);
}

void HIX::ValidateMaximum()
{
    const Int16Conversion typed = convertToInt16(maxTextBox().text());
    switch (typed.kind) {
    case Int16Conversion::Kind::NotNumeric:
        messageBox.show(notANumberPrompt);
        current.maxEntries = fallbackMaximum;
        break;
    case Int16Conversion::Kind::OutOfRange:
        current.maxEntries = fallbackMaximum;
        break;
    case Int16Conversion::Kind::InRange:
        current.maxEntries = typed.value;
        break;
    }
    if (!isValidMaximum(current.maxEntries))
        current.maxEntries = fallbackMaximum;

    saveCounter(maxFilesKey, current.maxEntries);
    current.maxEntries = readCounter(maxFilesKey, current.maxEntries);
    showMaximum(current.maxEntries);
}

void HIX::ApplyMaximum()
{
    ValidateMaximum();
    if (current.entryCount <= current.maxEntries)
        return;

    saveCounter(maxFilesKey, current.maxEntries);
    MenuEntryArray& entries = form().mnuHIX();
    for (const std::int16_t i : indexes(checkedInt16(current.maxEntries + 1), current.entryCount)) {
        entries.unload(i);
        store.DeleteSetting(recentFilesSection, std::to_string(i));
    }
    current.entryCount = readCounter(maxFilesKey, current.maxEntries);
    saveCounter(entryCountKey, current.entryCount);
}

void HIX::AddNewPath(const std::string& path)
{
    GrowList();
    PushStoredPath(path);
    LogPath(path);
    RefreshCaptions();
}

void HIX::GrowList()
{
    ValidateMaximum();
    if (current.entryCount >= current.maxEntries)
        return;

    RevealList();
    current.entryCount = checkedInt16(current.entryCount + 1);
    if (current.entryCount > 1)
        form().mnuHIX().load(current.entryCount);
    saveCounter(entryCountKey, current.entryCount);
}

void HIX::PushStoredPath(const std::string& path)
{
    if (storedPath(1) == path)
        return;
    for (const std::int16_t n : indexesDown(checkedInt16(current.maxEntries - 1), 1))
        storePath(checkedInt16(n + 1), storedPath(n));
    storePath(1, path);
}

void HIX::RefreshCaptions()
{
    if (current.entryCount > current.maxEntries) {
        ApplyMaximum();
        RefreshCaptions();
        return;
    }
    for (const std::int16_t i : indexes(1, current.entryCount))
        ShowEntry(i, storedPath(i));
}

void HIX::ShowEntry(std::int16_t index, const std::string& path)
{
    MenuEntryArray& entries = form().mnuHIX();
    entries.setTag(index, path);
    entries.setCaption(index, entryCaption(index, path));
}

void HIX::RevealList()
{
    form().mnuBar1().setVisible(true);
    form().mnuHIX().setVisible(1, true);
}

void HIX::LogPath(const std::string& path)
{
    if (!replaying)
        form().Text1().appendText(path + "\r\n");
}

Form& HIX::form() const
{
    return bound(current.mainForm);
}

TextBox& HIX::maxTextBox() const
{
    return bound(current.maxTextBox);
}

std::string HIX::storedPath(std::int16_t position) const
{
    return store.GetSetting(recentFilesSection, std::to_string(position), {});
}

void HIX::storePath(std::int16_t position, const std::string& path)
{
    store.SaveSetting(recentFilesSection, std::to_string(position), path);
}

// A stored counter that is not a 16-bit number (a hand-edited file) reads as 0.
std::int16_t HIX::readCounter(const std::string& key, std::int16_t defaultValue) const
{
    const Int16Conversion stored
        = convertToInt16(store.GetSetting(configSection, key, std::to_string(defaultValue)));
    return stored.kind == Int16Conversion::Kind::InRange ? stored.value : 0;
}

void HIX::saveCounter(const std::string& key, std::int16_t value)
{
    store.SaveSetting(configSection, key, std::to_string(value));
}
