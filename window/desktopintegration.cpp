#include "window/desktopintegration.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

namespace {

QIcon programIcon()
{
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/hix-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

void showProgramIconOnceDrawn(QWidget& window)
{
    // The icon waits for the window's first paint to have ended, a turn of the event loop later.
    class FirstPaint final : public QObject {
    public:
        using QObject::QObject;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                watched->removeEventFilter(this);
                QTimer::singleShot(0, this, [this] {
                    QApplication::setWindowIcon(programIcon());
                    deleteLater();
                });
            }
            return false;
        }
    };
    window.installEventFilter(new FirstPaint(&window));
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
