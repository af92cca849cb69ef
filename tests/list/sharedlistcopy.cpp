// One running copy of the recent-files list without a window, for tests that run several copies
// over one settings file.
//   sharedlist_copy open NAME TAG COUNT   opens COUNT paths of its own, /TAG/0000 upwards, and
//                                         appends each to NAME.order in the order the copies took
//                                         their turns
//   sharedlist_copy hold NAME MS          holds the settings lock for MS milliseconds
#include "platform/usersettingsstore.h"
#include "tests/support/fakes.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4)
        return 2;
    UserSettingsStore store(arguments[2]);

    if (arguments[1] == QStringLiteral("hold")) {
        const SettingsLock lock(store);
        std::puts("locked");
        std::fflush(stdout);
        QThread::msleep(arguments[3].toULong());
        return 0;
    }

    ListCopy copy(store);
    copy.hix.StartUp(copy.form);
    copy.form.maximum.value = "20";
    QFile order(
        QFileInfo(store.fileName()).path() + u'/' + arguments[2] + QStringLiteral(".order"));
    if (!order.open(QIODevice::Append))
        return 2;
    const int count = arguments.size() > 4 ? arguments[4].toInt() : 0;
    for (int i = 0; i < count; ++i) {
        const std::string path = "/" + arguments[3].toStdString() + "/"
            + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')).toStdString();
        copy.hix.changeShared([&] {
            copy.hix.OpenPath(path);
            order.write((path + "\n").c_str());
            order.flush();
        });
        // No person opens files back to back; the pause lets the other copies take their turns.
        QThread::usleep(QRandomGenerator::global()->bounded(3000));
    }
    return copy.messages.errors.empty() ? 0 : 1;
}
