// One running copy of the recent-files list without a window, or another program at the same
// settings file, for tests that run several over one settings file.
//   sharedlist_copy open FILE TAG COUNT [PAUSE]
//                                         opens COUNT paths of its own, /TAG/0000 upwards, pausing
//                                         up to PAUSE ms (3 unless told) after each, and appends
//                                         each to FILE.order in the order the copies took turns
//   sharedlist_copy hold FILE MS          holds the settings lock for MS milliseconds
//   sharedlist_copy rewrite FILE          saves the file in place as an editor does, truncating it
//                                         and writing its text again after a pause, until
//                                         FILE.stop exists; prints how often
//   sharedlist_copy edit FILE ROUNDS      opens a path, edits it in place in the file at once (the
//                                         same size, within one tick of a coarse clock) and opens
//                                         another; fails when the edit was written over
//   sharedlist_copy clean FILE            removes FILE.lock again and again, as a clean-up of
//                                         stale lock files would, until FILE.stop exists
//   sharedlist_copy rename-edits FILE N   edits the file N times as sed -i does, without the lock:
//                                         reads it, appends the edit's number to the value of
//                                         "edits" in [Config], writes a new file and renames it
//                                         over the old
#include "settings/usersettingsstore.h"
#include "tests/support/fakes.h"
#include "tests/support/settingshome.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

void pauseUpTo(int milliseconds)
{
    if (milliseconds > 0)
        QThread::usleep(QRandomGenerator::global()->bounded(milliseconds * 1000));
}

int openPaths(UserSettingsStore& store, const QString& tag, int count, int pause)
{
    WindowlessCopy copy(store);
    copy.startUp();
    copy.form.maximum.value = "20";
    QFile order(qtFileName(store.path()) + QStringLiteral(".order"));
    if (!order.open(QIODevice::Append))
        return 2;
    for (int i = 0; i < count; ++i) {
        const std::string path = "/" + tag.toStdString() + "/"
            + QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0')).toStdString();
        copy.hix.changeShared([&] {
            copy.hix.OpenPath(path);
            order.write((path + "\n").c_str());
            order.flush();
        });
        copy.showStoreNotices();
        pauseUpTo(pause);
    }
    for (const std::string& error : copy.messages.errors)
        std::fprintf(stderr, "%s\n", error.c_str());
    return copy.messages.errors.empty() ? 0 : 1;
}

// The text it writes is the text it read, under the copies' lock: whatever a copy loses, this
// program did not take from it.
int rewriteInPlace(UserSettingsStore& store)
{
    const QByteArray path = QByteArray::fromStdString(store.path());
    int rewrites = 0;
    while (!QFile::exists(qtFileName(store.path()) + QStringLiteral(".stop"))) {
        QByteArray text;
        int descriptor = -1;
        store.lock();
        QFile file(qtFileName(store.path()));
        if (file.open(QIODevice::ReadOnly))
            text = file.readAll();
        descriptor = ::open(path.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        store.unlock();
        if (descriptor >= 0) {
            pauseUpTo(40);
            if (::write(descriptor, text.constData(), text.size()) != text.size())
                return 1;
            ::close(descriptor);
            ++rewrites;
        }
        pauseUpTo(20);
    }
    std::printf("%d\n", rewrites);
    return 0;
}

int editRightAfterSaves(UserSettingsStore& store, int rounds)
{
    WindowlessCopy copy(store);
    copy.startUp();
    copy.form.maximum.value = "20";
    const QByteArray path = QByteArray::fromStdString(store.path());
    for (int round = 0; round < rounds; ++round) {
        const QByteArray number = QByteArray::number(round).rightJustified(4, '0');
        copy.open(("/saved/" + number).toStdString());
        QFile file(qtFileName(store.path()));
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        const QByteArray edited = file.readAll().replace("/saved/" + number, "/edits/" + number);
        const int descriptor = ::open(path.constData(), O_WRONLY | O_CLOEXEC);
        if (::pwrite(descriptor, edited.constData(), edited.size(), 0) != edited.size())
            return 2;
        ::close(descriptor);
        copy.open(("/opened/" + number).toStdString());
        const std::string second
            = UserSettingsStore(store.path()).GetSetting("Recent Files", "2", "");
        if (QByteArray::fromStdString(second) != "/edits/" + number) {
            std::fprintf(
                stderr, "round %d: the edit was written over: %s\n", round, second.c_str());
            return 1;
        }
    }
    return copy.messages.errors.empty() ? 0 : 1;
}

int removeLockFiles(const UserSettingsStore& store)
{
    const QString lockFile = qtFileName(store.path()) + QStringLiteral(".lock");
    while (!QFile::exists(qtFileName(store.path()) + QStringLiteral(".stop"))) {
        QFile::remove(lockFile);
        pauseUpTo(400);
    }
    return 0;
}

int renameEdits(const UserSettingsStore& store, int count)
{
    const QString path = qtFileName(store.path());
    while (!QFile::exists(path))
        QThread::msleep(1);
    for (int edit = 1; edit <= count; ++edit) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return 2;
        QByteArray text = file.readAll();
        const QByteArray number = ' ' + QByteArray::number(edit);
        const qsizetype line = text.indexOf("\nedits=");
        if (line >= 0)
            text.insert(text.indexOf('\n', line + 1), number);
        else
            text.replace("[Config]\n", "[Config]\nedits=" + number.mid(1) + '\n');
        QFile edited(path + QStringLiteral(".sed"));
        if (!edited.open(QIODevice::WriteOnly) || edited.write(text) != text.size())
            return 2;
        edited.close();
        if (::rename(QFile::encodeName(edited.fileName()).constData(),
                QFile::encodeName(path).constData())
            != 0)
            return 2;
        // Long enough for the file to settle, so that copies save between the edits.
        QThread::msleep(150);
        pauseUpTo(250);
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3)
        return 2;
    const QString& mode = arguments[1];
    UserSettingsStore store(argv[2]);

    if (mode == QStringLiteral("hold") && arguments.size() == 4) {
        store.lock();
        std::puts("locked");
        std::fflush(stdout);
        QThread::msleep(arguments[3].toULong());
        return 0;
    }
    if (mode == QStringLiteral("open") && (arguments.size() == 5 || arguments.size() == 6))
        return openPaths(store, arguments[3], arguments[4].toInt(),
            arguments.size() == 6 ? arguments[5].toInt() : 3);
    if (mode == QStringLiteral("rewrite"))
        return rewriteInPlace(store);
    if (mode == QStringLiteral("edit") && arguments.size() == 4)
        return editRightAfterSaves(store, arguments[3].toInt());
    if (mode == QStringLiteral("clean"))
        return removeLockFiles(store);
    if (mode == QStringLiteral("rename-edits") && arguments.size() == 4)
        return renameEdits(store, arguments[3].toInt());
    return 2;
}
