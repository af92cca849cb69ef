#include "window/menuentries.h"

#include <QAction>
#include <QMenu>
#include <stdexcept>

namespace {

template<typename Entries>
auto& existing(Entries& entries, std::int16_t index)
{
    const auto found = entries.find(index);
    if (found == entries.end())
        throw std::out_of_range("Menu entry " + std::to_string(index) + " does not exist.");
    return found->second;
}

// Tool tips render markup; escaping and pre-formatting show any path exactly as it is.
QString plainToolTip(const QString& text)
{
    return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
}

} // namespace

ActionMenuItem::ActionMenuItem(QAction* action)
    : action(action)
{
}

void ActionMenuItem::setVisible(bool visible)
{
    action->setVisible(visible);
}

ActionEntryArray::ActionEntryArray(QMenu* menu, QAction* below)
    : QObject(menu)
    , menu(menu)
    , below(below)
{
    entries.emplace(1, Entry{createAction(1), {}});
    entries.at(1).action->setVisible(false);
}

std::int16_t ActionEntryArray::count() const
{
    return static_cast<std::int16_t>(entries.size());
}

std::string ActionEntryArray::tag(std::int16_t index) const
{
    return entry(index).tag;
}

void ActionEntryArray::setTag(std::int16_t index, const std::string& tag)
{
    Entry& target = entry(index);
    target.tag = tag;
    target.action->setToolTip(tag.empty() ? QString() : plainToolTip(QString::fromStdString(tag)));
}

void ActionEntryArray::setCaption(std::int16_t index, const std::string& caption)
{
    // A tab in an action's text would start its shortcut column.
    entry(index).action->setText(QString::fromStdString(caption).replace(u'\t', u' '));
}

void ActionEntryArray::setVisible(std::int16_t index, bool visible)
{
    entry(index).action->setVisible(visible);
}

void ActionEntryArray::load(std::int16_t index)
{
    if (entries.contains(index))
        throw std::logic_error("Menu entry " + std::to_string(index) + " exists already.");
    entries.emplace(index, Entry{createAction(index), {}});
}

void ActionEntryArray::unload(std::int16_t index)
{
    if (index == 1)
        throw std::logic_error("Menu entry 1 cannot be removed.");
    QAction* removed = existing(entries, index).action;
    menu->removeAction(removed);
    // The entry may be the one whose click is being handled right now.
    removed->deleteLater();
    entries.erase(index);
}

ActionEntryArray::Entry& ActionEntryArray::entry(std::int16_t index)
{
    return existing(entries, index);
}

const ActionEntryArray::Entry& ActionEntryArray::entry(std::int16_t index) const
{
    return existing(entries, index);
}

QAction* ActionEntryArray::createAction(std::int16_t index)
{
    auto* action = new QAction(menu);
    action->setObjectName(QStringLiteral("mnuHIX"));
    action->setData(index);
    const auto next = entries.upper_bound(index);
    menu->insertAction(next == entries.end() ? below : next->second.action, action);
    connect(action, &QAction::triggered, this, [this, index] { emit entryTriggered(index); });
    return action;
}
