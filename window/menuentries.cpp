#include "window/menuentries.h"

#include "window/entryaccessible.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QScreen>
#include <QToolTip>
#include <stdexcept>
#include <utility>

namespace {

template<typename Entries>
auto& existing(Entries& entries, std::int16_t index)
{
    const auto found = entries.find(index);
    if (found == entries.end())
        throw std::out_of_range("Menu entry " + std::to_string(index) + " does not exist.");
    return found->second;
}

// A path reads left to right in every language: isolated so (U+2066 ... U+2069) in a
// right-to-left layout, "/srv/share/report.pdf" keeps its slash in front, and a name in a
// right-to-left script still reads right to left within it.
QString leftToRight(const QString& path)
{
    return QChar(0x2066) + path + QChar(0x2069);
}

// Tool tips render markup; escaping and pre-formatting show any path exactly as it is, and the
// paragraph reads left to right.
QString plainToolTip(const std::string& path)
{
    const QString text = QString::fromStdString(path);
    const bool holdsMarkup = path.find_first_of("<>&\"") != std::string::npos;
    return QLatin1String("<p dir='ltr' style='white-space:pre'>")
        + (holdsMarkup ? text.toHtmlEscaped() : text) + QLatin1String("</p>");
}

// What the menu shows of a caption, "&<index>   <display text>": the display text as one run
// that reads left to right, the number where the menu's direction puts it, and the text cut
// short in its middle where the screen is narrower than the menu would be.
QString shownCaption(const std::string& caption, const QMenu& menu)
{
    const QString whole = QString::fromStdString(caption).replace(u'\t', u' ');
    const qsizetype textStart = whole.indexOf(QLatin1String("   ")) + 3;
    QString text = whole.mid(textStart);
    const QFontMetrics metrics = menu.fontMetrics();
    const int room = menu.screen()->availableGeometry().width() * 3 / 4;
    // Measured only where it may not fit: laying text out costs more than all else an open does.
    if (text.size() * metrics.averageCharWidth() * 2 > room
        && metrics.horizontalAdvance(text) > room)
        text = metrics.elidedText(text, Qt::ElideMiddle, room, Qt::TextShowMnemonic);
    return whole.left(textStart) + leftToRight(text);
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
    static const bool accessible = (QAccessible::installFactory(&entryAccessible), true);
    Q_UNUSED(accessible);
    entries.emplace(1, Entry{createAction(1)});
    entries.at(1).action->setVisible(false);
    // Given as the menu opens rather than with each path, which every open changes: a change to an
    // item of an open menu lays it out again at its whole height, past the screen it scrolled in.
    connect(menu, &QMenu::aboutToShow, this, [this] {
        for (auto& [index, shown] : entries)
            giveToolTip(shown);
    });
    // The tool tip shows the full path to a keyboard's highlight too, not only to the pointer's.
    connect(menu, &QMenu::hovered, this, [this](QAction* action) {
        const Entry* hovered = entryOf(action);
        if (!hovered || hovered->tag.empty()) {
            QToolTip::hideText();
            return;
        }
        // Another copy may have changed the path while the menu was open.
        giveToolTip(entry(std::int16_t(action->data().toInt())));
        // Beside the menu, where it hides no other item.
        const QRect area = this->menu->actionGeometry(action);
        QToolTip::showText(this->menu->mapToGlobal(QPoint(this->menu->width(), area.top())),
            action->toolTip(), this->menu, area);
    });
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
    if (target.tag == tag)
        return;
    target.tag = tag;
    if (std::exchange(target.toolTipGiven, false))
        target.action->setToolTip(QString());
}

std::string ActionEntryArray::tagOf(const QAction* action) const
{
    const Entry* found = entryOf(action);
    return found ? found->tag : std::string();
}

std::string ActionEntryArray::captionOf(const QAction* action) const
{
    const Entry* found = entryOf(action);
    return found ? found->caption : std::string();
}

void ActionEntryArray::setCaption(std::int16_t index, const std::string& caption)
{
    Entry& target = entry(index);
    if (target.caption == caption)
        return;
    target.caption = caption;
    // A tab in an action's text would start its shortcut column.
    target.action->setText(shownCaption(caption, *menu));
}

void ActionEntryArray::setVisible(std::int16_t index, bool visible)
{
    entry(index).action->setVisible(visible);
}

void ActionEntryArray::load(std::int16_t index)
{
    if (entries.contains(index))
        throw std::logic_error("Menu entry " + std::to_string(index) + " exists already.");
    entries.emplace(index, Entry{createAction(index)});
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

void ActionEntryArray::giveToolTip(Entry& shown)
{
    if (!shown.tag.empty() && !std::exchange(shown.toolTipGiven, true))
        shown.action->setToolTip(plainToolTip(shown.tag));
}

const ActionEntryArray::Entry* ActionEntryArray::entryOf(const QAction* action) const
{
    if (!action || action->objectName() != QLatin1String("mnuHIX"))
        return nullptr;
    const auto found = entries.find(std::int16_t(action->data().toInt()));
    return found != entries.end() && found->second.action == action ? &found->second : nullptr;
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
