#include "window/entryaccessible.h"

#include "window/menuentries.h"

#include <QAccessibleActionInterface>
#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QRegularExpression>

namespace {

class EntryAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    explicit EntryAccessible(QAction* action)
        : action(action)
    {
    }

    bool isValid() const override { return action && menu(); }
    QObject* object() const override { return action; }
    QWindow* window() const override { return menu() ? menu()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override
    {
        return QAccessible::queryAccessibleInterface(menu());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text kind) const override
    {
        switch (kind) {
        case QAccessible::Name:
            return entries() ? QString::fromStdString(entries()->captionOf(action))
                                   .remove(QRegularExpression(QStringLiteral("&(?!&)")))
                             : QString();
        case QAccessible::Description:
            return entries() ? QString::fromStdString(entries()->tagOf(action)) : QString();
        case QAccessible::Accelerator:
            return QKeySequence::mnemonic(action->text()).toString(QKeySequence::NativeText);
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override
    {
        const QRect area = menu()->actionGeometry(action);
        return {menu()->mapToGlobal(area.topLeft()), area.size()};
    }
    QAccessible::Role role() const override { return QAccessible::MenuItem; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = !menu()->isVisible() || !action->isVisible();
        state.focused = menu()->activeAction() == action;
        state.focusable = true;
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            action->trigger();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QMenu* menu() const { return action ? qobject_cast<QMenu*>(action->parent()) : nullptr; }
    const ActionEntryArray* entries() const
    {
        return menu() ? menu()->findChild<ActionEntryArray*>(QString(), Qt::FindDirectChildrenOnly)
                      : nullptr;
    }

    QPointer<QAction> action;
};

} // namespace

QAccessibleInterface* entryAccessible(const QString& className, QObject* object)
{
    auto* action = qobject_cast<QAction*>(object);
    return className == QLatin1String("QAction") && action
            && action->objectName() == QLatin1String("mnuHIX")
        ? new EntryAccessible(action)
        : nullptr;
}
