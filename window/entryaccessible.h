#pragma once

#include <QAccessible>

// What a screen reader learns of a recent-files entry, for QAccessible::installFactory: its
// caption as its name, as for any menu item, and the full path, which the caption may shorten, as
// its description. Qt's own menu items have no description to give.
QAccessibleInterface* entryAccessible(const QString& className, QObject* object);
