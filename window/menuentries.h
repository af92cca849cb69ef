#pragma once

#include "list/form.h"

#include <QObject>
#include <map>

class QAction;
class QMenu;

class ActionMenuItem final : public MenuItem {
public:
    explicit ActionMenuItem(QAction* action);

    void setVisible(bool visible) override;

private:
    QAction* action;
};

// Menu entries as actions of one menu, placed in index order just above a given action. Each
// action is named "mnuHIX" and carries its index as data; the full path shows as its tool tip,
// given as the menu opens, and is what a screen reader hears as its description.
class ActionEntryArray final : public QObject, public MenuEntryArray {
    Q_OBJECT

public:
    // Adds entry 1, hidden, to the menu.
    ActionEntryArray(QMenu* menu, QAction* below);

    std::int16_t count() const override;
    std::string tag(std::int16_t index) const override;
    void setTag(std::int16_t index, const std::string& tag) override;
    void setCaption(std::int16_t index, const std::string& caption) override;
    void setVisible(std::int16_t index, bool visible) override;
    void load(std::int16_t index) override;
    void unload(std::int16_t index) override;

    // The tag and the caption of the entry whose action this is; empty for any other action.
    std::string tagOf(const QAction* action) const;
    std::string captionOf(const QAction* action) const;

signals:
    void entryTriggered(std::int16_t index);

private:
    struct Entry {
        QAction* action;
        std::string tag = {};
        std::string caption = {};
        bool toolTipGiven = false;
    };

    static void giveToolTip(Entry& shown);
    const Entry* entryOf(const QAction* action) const;
    Entry& entry(std::int16_t index);
    const Entry& entry(std::int16_t index) const;
    QAction* createAction(std::int16_t index);

    QMenu* menu;
    QAction* below;
    std::map<std::int16_t, Entry> entries;
};
