#pragma once

#include "list/form.h"
#include "list/hix.h"
#include "list/messagebox.h"
#include "list/settingsstore.h"

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class FakeStore final : public SettingsStore {
public:
    using Key = std::pair<std::string, std::string>;

    std::string GetSetting(const std::string& section, const std::string& key,
        const std::string& defaultValue) const override
    {
        if (!readError.empty())
            throw std::runtime_error(readError);
        const auto found = values.find({section, key});
        return found == values.end() ? defaultValue : found->second;
    }
    void SaveSetting(
        const std::string& section, const std::string& key, const std::string& value) override
    {
        values[{section, key}] = value;
        ++writes;
    }
    void DeleteSetting(const std::string& section, const std::string& key) override
    {
        values.erase({section, key});
        ++writes;
    }
    SharedChange beginSharedChange() override
    {
        locked = true;
        return refresh() == Refreshed::Changed ? SharedChange::Reread : SharedChange::Unchanged;
    }
    Saving finishSharedChange() override
    {
        locked = false;
        if (!flushError.empty())
            throw std::runtime_error(flushError);
        if (!keptBecause.empty()) {
            notices.push_back({keptBecause, true});
            return Saving::Kept;
        }
        saved = values;
        ++flushes;
        return Saving::Saved;
    }
    void abandonSharedChange() override
    {
        values = saved;
        locked = false;
    }
    Refreshed refresh() override
    {
        if (!outside)
            return Refreshed::Unchanged;
        values = saved = *std::exchange(outside, std::nullopt);
        return Refreshed::Changed;
    }
    bool unread() const override { return !readError.empty(); }
    std::vector<StoreNotice> takeNotices() override { return std::exchange(notices, {}); }

    std::optional<std::string> value(const std::string& section, const std::string& key) const
    {
        const auto found = values.find({section, key});
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
    std::optional<std::string> path(int position) const
    {
        return value("Recent Files", std::to_string(position));
    }
    // The stored paths from position 1 to the highest one stored; a gap reads "<missing>".
    std::vector<std::string> storedPaths() const
    {
        std::vector<std::string> paths;
        for (int position = 1; position <= 25; ++position) {
            if (const auto stored = path(position)) {
                paths.resize(std::size_t(position - 1), "<missing>");
                paths.push_back(*stored);
            }
        }
        return paths;
    }
    void setPaths(const std::vector<std::string>& paths)
    {
        for (std::size_t i = 0; i < paths.size(); ++i)
            values[{"Recent Files", std::to_string(i + 1)}] = paths[i];
    }

    std::map<Key, std::string> values;
    std::map<Key, std::string> saved;
    // What another copy stored, for the next reload to find.
    std::optional<std::map<Key, std::string>> outside;
    int writes = 0;
    int flushes = 0;
    bool locked = false;
    std::string readError;
    std::string flushError;
    // Saves are kept rather than made, for this reason, while it is set.
    std::string keptBecause;
    std::vector<StoreNotice> notices;
};

struct ShownMessage {
    std::string prompt;
    std::optional<std::string> title;
    bool operator==(const ShownMessage&) const = default;
};

class FakeMessageBox final : public MessageBox {
public:
    void show(const std::string& prompt, const std::optional<std::string>& title) override
    {
        shown.push_back({prompt, title});
        if (onShow)
            onShow();
    }
    void showError(const std::string& text) override { errors.push_back(text); }
    void showNotice(const std::string& text) override { notices.push_back(text); }

    std::vector<ShownMessage> shown;
    std::vector<std::string> errors;
    std::vector<std::string> notices;
    std::function<void()> onShow;
};

class FakeTextBox final : public TextBox {
public:
    explicit FakeTextBox(std::string initial = {})
        : value(std::move(initial))
    {
    }

    std::string text() const override { return value; }
    void setText(const std::string& text) override { value = text; }
    void appendText(const std::string& more) override { value += more; }

    std::string value;
};

class FakeMenuItem final : public MenuItem {
public:
    void setVisible(bool visible) override { this->visible = visible; }

    bool visible = false;
};

struct FakeEntry {
    std::string tag;
    std::string caption;
    bool visible = false;
};

class FakeEntries final : public MenuEntryArray {
public:
    FakeEntries() { entries[1] = {}; }

    std::int16_t count() const override { return static_cast<std::int16_t>(entries.size()); }
    std::string tag(std::int16_t index) const override { return at(index).tag; }
    void setTag(std::int16_t index, const std::string& tag) override { at(index).tag = tag; }
    void setCaption(std::int16_t index, const std::string& caption) override
    {
        at(index).caption = caption;
    }
    void setVisible(std::int16_t index, bool visible) override { at(index).visible = visible; }
    void load(std::int16_t index) override
    {
        if (!entries.emplace(index, FakeEntry{{}, {}, true}).second)
            throw std::logic_error("entry already loaded");
    }
    void unload(std::int16_t index) override
    {
        if (index == 1 || entries.erase(index) == 0)
            throw std::out_of_range("no entry to unload");
    }

    const FakeEntry& at(std::int16_t index) const { return entries.at(index); }
    FakeEntry& at(std::int16_t index) { return entries.at(index); }

    std::map<std::int16_t, FakeEntry> entries;
};

class FakeForm final : public Form {
public:
    MenuEntryArray& mnuHIX() override { return entries; }
    MenuItem& mnuBar1() override { return bar; }
    TextBox& Text1() override { return log; }
    TextBox& maxHixTxt() override { return maximum; }

    FakeEntries entries;
    FakeMenuItem bar;
    FakeTextBox log;
    FakeTextBox maximum{"4"};
};

// The paths behind the menu's entries, in menu order.
inline std::vector<std::string> menuTags(const MenuEntryArray& entries)
{
    std::vector<std::string> tags;
    for (std::int16_t index = 1; index <= entries.count(); ++index)
        tags.push_back(entries.tag(index));
    return tags;
}

// One running copy of the list without a window, over any store.
struct WindowlessCopy {
    explicit WindowlessCopy(SettingsStore& store)
        : hix(store, messages)
    {
    }

    // Starts as the window does, and shows what the store says.
    void startUp()
    {
        hix.startUp(form);
        showStoreNotices();
    }
    // Opens a path as the window does: one change shared with the other copies, and what the
    // store says about it shown after it.
    void open(const std::string& path)
    {
        hix.open(path);
        showStoreNotices();
    }
    void submitMaximum(const std::string& typed)
    {
        form.maximum.value = typed;
        hix.submitMaximum();
        showStoreNotices();
    }
    void showStoreNotices()
    {
        for (const StoreNotice& notice : hix.takeStoreNotices())
            (notice.failure ? messages.errors : messages.notices).push_back(notice.text);
    }
    std::vector<std::string> tags() const { return menuTags(form.entries); }

    FakeMessageBox messages;
    FakeForm form;
    HIX hix;
};

// A change of the store's own values, made as the list makes one: begun on the values as stored,
// edited and saved, the edit made again where someone saved meanwhile. Returns how it went.
template<typename Edit>
Saving changeStore(SettingsStore& store, Edit edit)
{
    if (store.beginSharedChange() == SharedChange::Refused)
        return Saving::Refused;
    for (;;) {
        edit();
        if (const Saving saving = store.finishSharedChange(); saving != Saving::ReadAgain)
            return saving;
    }
}

// What the store says, its notices one to a line.
inline std::string noticesOf(SettingsStore& store)
{
    std::string text;
    for (const StoreNotice& notice : store.takeNotices())
        text += (text.empty() ? "" : "\n") + notice.text;
    return text;
}

// Every value the list can store, with missing keys left out.
inline std::map<FakeStore::Key, std::string> storedValues(const SettingsStore& store)
{
    static const std::string missing = "\x01";
    std::map<FakeStore::Key, std::string> values;
    const auto add = [&](const std::string& section, const std::string& key) {
        if (std::string value = store.GetSetting(section, key, missing); value != missing)
            values[{section, key}] = std::move(value);
    };
    add("Config", "MAX_FILES");
    add("Config", "noHIX");
    for (int position = 1; position <= 25; ++position)
        add("Recent Files", std::to_string(position));
    return values;
}
