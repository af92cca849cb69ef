#include "window/desktopintegration.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QIcon programIcon()
{
    return QIcon::fromTheme(QStringLiteral(HIX_APP_ID), QIcon(QStringLiteral(":/hix.svg")));
}

void translateQtsOwnWords()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}
