#include "settings/usersettingsstore.h"

#include "tests/support/fakes.h"
#include "tests/support/hostilenames.h"
#include "tests/support/settingshome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <fcntl.h>
#include <functional>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

// Puts something where a row's settings belong.
using PutThere = std::function<void(const QString& path)>;
Q_DECLARE_METATYPE(PutThere)

class UserSettingsStoreTest : public QObject {
    Q_OBJECT

private slots:
    void specialFilesAreNeverTrusted_data();
    void specialFilesAreNeverTrusted();
    void linksAreSavedThroughWhereTheyLead_data();
    void linksAreSavedThroughWhereTheyLead();
    void changesReachTheDiskWhenSaved();
    void unfinishedSaveOfAnEarlierProcessIsNoObstacle();
    void everyPathRoundTripsThroughTheFile_data();
    void everyPathRoundTripsThroughTheFile();
    void failedSaveNamesTheFileAndKeepsTheChange();
    void folderThatCannotBeMadeIsNamed();
    void damagedFileStartsWhatCanBeReadAndIsKeptOnce_data();
    void damagedFileStartsWhatCanBeReadAndIsKeptOnce();
    void reloadFindsEachSaveOfAnotherCopy();
    void writerThatDoesNotSettleFailsAChangeAndNoRefresh();
    void fileWrittenInTwoChunksIsTakenOnlyWhole_data();
    void fileWrittenInTwoChunksIsTakenOnlyWhole();
    void saveNeverGoesOverAnEditMadeSinceTheRead_data();
    void saveNeverGoesOverAnEditMadeSinceTheRead();
    void unsavedChangeOutlivesAChangeOfPermissions();
    void anyFileWhereTheLockBelongsStillLocks();
    void valuesSavedAsTheyWereWriteNothing();

private:
    QString confPath(const QString& name) const { return home.settingsFile(name); }

    SettingsHome home;
};

namespace {

void makeSocket(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::copy(name.begin(), name.end(), address.sun_path);
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    ::close(socket);
}

} // namespace

void UserSettingsStoreTest::specialFilesAreNeverTrusted_data()
{
    QTest::addColumn<PutThere>("put");
    QTest::addColumn<QString>("said");
    QTest::newRow("named pipe") << PutThere([](const QString& path) {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }) << QStringLiteral("it is a named pipe");
    QTest::newRow("link to /dev/zero") << PutThere([](const QString& path) {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    }) << QStringLiteral("it is a device");
    QTest::newRow("socket") << PutThere([](const QString& path) { makeSocket(path); })
                            << QStringLiteral("it is a socket");
    QTest::newRow("folder") << PutThere([](const QString& path) { QVERIFY(QDir().mkpath(path)); })
                            << QStringLiteral("it is a folder");
    QTest::newRow("link loop") << PutThere([](const QString& path) {
        QVERIFY(QFile::link(path + ".other", path) && QFile::link(path, path + ".other"));
    }) << QStringLiteral("symbolic links");
    QTest::newRow("100 MiB") << PutThere([](const QString& path) {
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(100 << 20));
    }) << QStringLiteral("larger than 16 MiB");
}

// Whatever sits where the settings belong, the store starts at once; what it cannot read it names,
// once, and leaves as it is.
void UserSettingsStoreTest::specialFilesAreNeverTrusted()
{
    QFETCH(PutThere, put);
    QFETCH(QString, said);
    const QString name
        = QStringLiteral("special-%1").arg(QTest::currentDataTag()).replace(u' ', u'-');
    const QString path = confPath(name);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    put(path);
    const QString before = described(path);

    UserSettingsStore store(home.settingsPath(name));
    const QString notice = QString::fromStdString(noticesOf(store));
    const Saving saving
        = changeStore(store, [&] { store.SaveSetting("Recent Files", "1", "/saved"); });

    QVERIFY2(notice.contains(path) && notice.contains(said), qPrintable(notice));
    QVERIFY(saving == Saving::Kept && noticesOf(store).empty());
    QCOMPARE(described(path), before);
}

void UserSettingsStoreTest::linksAreSavedThroughWhereTheyLead_data()
{
    QTest::addColumn<bool>("targetThere");
    QTest::newRow("dangling link") << false;
    QTest::newRow("link into another folder") << true;
}

// A settings file that is a link stays one: what it leads to is saved, where it lives, with its
// permissions kept, and the unfinished save a killed copy left there is cleared.
void UserSettingsStoreTest::linksAreSavedThroughWhereTheyLead()
{
    QFETCH(bool, targetThere);
    const QString name = QStringLiteral("linked-%1").arg(targetThere);
    const QString path = confPath(name);
    const QString elsewhere = home.path(QStringLiteral("dotfiles/") + name + ".conf");
    QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QDir().mkpath(QFileInfo(elsewhere).path()));
    QVERIFY(QFile::link(elsewhere, path));
    const QFile::Permissions shared = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
    if (targetThere) {
        QFile target(elsewhere);
        QVERIFY(target.open(QIODevice::WriteOnly) && target.write("[Config]\nnoHIX=0\n") > 0);
        QVERIFY(target.setPermissions(shared));
        QFile unfinished(elsewhere + QStringLiteral(".saving-999999999"));
        QVERIFY(unfinished.open(QIODevice::WriteOnly));
    }
    const QString before = described(path);

    UserSettingsStore store(home.settingsPath(name));
    const QString notice = QString::fromStdString(noticesOf(store));
    const Saving saving
        = changeStore(store, [&] { store.SaveSetting("Recent Files", "1", "/saved"); });

    QVERIFY2(notice.isEmpty() && saving == Saving::Saved, qPrintable(notice));
    QCOMPARE(described(path), before);
    QCOMPARE(UserSettingsStore(home.settingsPath(name)).GetSetting("Recent Files", "1", ""),
        std::string("/saved"));
    QCOMPARE(QDir(QFileInfo(elsewhere).path()).entryList({name + "*"}, QDir::Files),
        QStringList{name + ".conf"});
    if (targetThere)
        QCOMPARE(QFile::permissions(elsewhere) & ~(QFile::ReadUser | QFile::WriteUser), shared);
}

void UserSettingsStoreTest::changesReachTheDiskWhenSaved()
{
    UserSettingsStore store(home.settingsPath(QStringLiteral("flushed")));
    UserSettingsStore other(home.settingsPath(QStringLiteral("other")));
    changeStore(store, [&] {
        QCOMPARE(store.GetSetting("Config", "noHIX", "0"), std::string("0"));
        store.SaveSetting("Recent Files", "2", "");
        QCOMPARE(store.GetSetting("Recent Files", "2", "default"), std::string());
        store.SaveSetting("Config", "MAX_FILES", "3");
        store.SaveSetting("Recent Files", "4", "/tmp/a");
        QVERIFY(!QFile::exists(qtFileName(store.path())));
        changeStore(other, [&] { other.SaveSetting("Recent Files", "1", "/other"); });
    });
    changeStore(store, [&] { store.DeleteSetting("Recent Files", "2"); });
    QCOMPARE(store.GetSetting("Recent Files", "2", "gone"), std::string("gone"));

    QFile file(qtFileName(store.path()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "[Config]\nMAX_FILES=3\n\n[Recent%20Files]\n4=/tmp/a\n"_qba);
    // The second save keeps what the first made.
    QCOMPARE(file.permissions() & ~(QFile::ReadUser | QFile::WriteUser),
        QFile::ReadOwner | QFile::WriteOwner);
    QCOMPARE(UserSettingsStore(home.settingsPath(QStringLiteral("other")))
                 .GetSetting("Recent Files", "1", ""),
        std::string("/other"));
}

// A copy killed while it saved leaves its unfinished file, whose process number may come again.
void UserSettingsStoreTest::unfinishedSaveOfAnEarlierProcessIsNoObstacle()
{
    const QString name = QStringLiteral("reused");
    UserSettingsStore store(home.settingsPath(name));
    QFile left(confPath(name) + QStringLiteral(".saving-") + QString::number(::getpid()));
    QVERIFY(QDir().mkpath(QFileInfo(left).path()) && left.open(QIODevice::WriteOnly));
    left.close();

    changeStore(store, [&] { store.SaveSetting("Recent Files", "1", "/saved"); });

    QCOMPARE(noticesOf(store), std::string());
    QCOMPARE(UserSettingsStore(home.settingsPath(name)).GetSetting("Recent Files", "1", ""),
        std::string("/saved"));
    QVERIFY(!left.exists());
}

void UserSettingsStoreTest::everyPathRoundTripsThroughTheFile_data()
{
    QTest::addColumn<QString>("path");
    for (const auto& [name, path] : hostileNames())
        QTest::newRow(name) << path;
}

void UserSettingsStoreTest::everyPathRoundTripsThroughTheFile()
{
    QFETCH(QString, path);
    static int row = 0;
    ++row;
    const QString written = QStringLiteral("written%1").arg(row);
    const QString copy = QStringLiteral("copy%1").arg(row);
    {
        UserSettingsStore store(home.settingsPath(written));
        changeStore(store, [&] { store.SaveSetting("Recent Files", "1", path.toStdString()); });
    }
    // A copy has never been read in this process, so the value really comes from the file.
    QVERIFY(QFile::copy(confPath(written), confPath(copy)));

    UserSettingsStore reread(home.settingsPath(copy));
    QCOMPARE(QString::fromStdString(reread.GetSetting("Recent Files", "1", "missing")), path);
}

// A save that cannot be made names the file, and the change stands: once the cause is gone, the
// next change saves it too.
void UserSettingsStoreTest::failedSaveNamesTheFileAndKeepsTheChange()
{
    // A folder where the file belongs blocks the write even for root.
    const QString blocked = confPath(QStringLiteral("blocked"));
    QVERIFY(QDir().mkpath(blocked));
    UserSettingsStore store(home.settingsPath(QStringLiteral("blocked")));
    WindowlessCopy copy(store);
    copy.startUp();
    copy.open("/kept");
    QVERIFY2(copy.messages.errors.size() == 1
            && QString::fromStdString(copy.messages.errors[0]).contains(blocked),
        qPrintable(QString::fromStdString(noticesOf(store))));

    QVERIFY(QDir(blocked).removeRecursively());
    copy.open("/next");
    QCOMPARE(copy.tags(), (std::vector<std::string>{"/next", "/kept"}));
    UserSettingsStore saved(home.settingsPath(QStringLiteral("blocked")));
    QCOMPARE(saved.GetSetting("Recent Files", "2", ""), std::string("/kept"));
    QCOMPARE(copy.messages.errors.size(), std::size_t(1));
}

void UserSettingsStoreTest::folderThatCannotBeMadeIsNamed()
{
    // A file where a folder of the path belongs: nobody, root neither, can make the folder.
    QFile plain(home.path(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    const QString folder = plain.fileName() + QStringLiteral("/.config");
    UserSettingsStore store(
        QFile::encodeName(folder + QStringLiteral("/hix/homeless.conf")).toStdString());

    QVERIFY(store.beginSharedChange() == SharedChange::Unchanged);
    store.SaveSetting("Recent Files", "1", "/kept in memory");
    store.finishSharedChange();
    const QString notice = QString::fromStdString(noticesOf(store));
    QVERIFY2(notice.contains(QStringLiteral("could not be saved: ") + folder), qPrintable(notice));
    QCOMPARE(store.GetSetting("Recent Files", "1", ""), "/kept in memory");
}

void UserSettingsStoreTest::damagedFileStartsWhatCanBeReadAndIsKeptOnce_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("listed");
    // The lines the notice names; none when the file reads as written and is not kept.
    QTest::addColumn<QString>("misread");
    const QByteArray valid = "[Config]\nMAX_FILES=5\nnoHIX=1\n\n[Recent%20Files]\n1=/home/a.txt\n";
    const QStringList validList{"/home/a.txt"};
    QByteArray numbered = "[Config]\nMAX_FILES=20\nnoHIX=25\n[Recent%20Files]\n";
    QStringList firstTwenty;
    for (int i = 1; i <= 25; ++i) {
        numbered += QByteArray::number(i) + "=/" + QByteArray::number(i) + "\n";
        if (i <= 20)
            firstTwenty << QStringLiteral("/%1").arg(i);
    }
    QTest::newRow("garbage") << QByteArray("this is no settings file\n") + valid << validList
                             << "(line 1)";
    QTest::newRow("only garbage") << QByteArray("junk\n").repeated(12) << QStringList{""}
                                  << "(lines 1, 2, 3, 4, 5 and 7 more)";
    QTest::newRow("binary") << valid + QByteArray("\x00\x01\x02\xff", 4) << validList << "(line 7)";
    QTest::newRow("truncated") << valid.left(24) << QStringList{""} << "(line 3)";
    QTest::newRow("truncated key") << valid + "2" << validList << "(line 7)";
    QTest::newRow("invalid UTF-8") << valid + "2=/a\xff\xfe.txt\n"
                                   << QStringList{"/home/a.txt"} << "(line 7)";
    QTest::newRow("section without ]")
        << "[Config\nnoHIX=1\n[Recent%20Files]\n1=/a\n"_qba << QStringList{"/a"} << "(line 1)";
    // Lines that do not read as written are not read at all: with no first path, a first run.
    QTest::newRow("commas and semicolons")
        << "[Config]\nnoHIX=2\n[Recent%20Files]\n1=/a, b\n2=/c;d\n"_qba << QStringList{""}
        << "(lines 4 and 5)";
    QTest::newRow("key with a slash") << valid + "3/=/c\n" << validList << "(line 7)";
    QTest::newRow("NUL byte") << valid + QByteArray("2=/c\0d\n", 7) << validList << "(line 7)";
    QTest::newRow("10 MB line") << valid + QByteArray(10 << 20, 'x') << validList << "(line 7)";
    QTest::newRow("10 MB value") << valid + "junk=" + QByteArray(10 << 20, 'x') + "\n"
                                 << validList << QString();
    QTest::newRow("non-numeric counters")
        << "[Config]\nMAX_FILES=many\nnoHIX=abc\n[Recent%20Files]\n1=/a\n"_qba << QStringList{""}
        << QString();
    QTest::newRow("huge counters")
        << "[Config]\nMAX_FILES=1e400\nnoHIX=99999999999999999999\n[Recent%20Files]\n1=/a\n"_qba
        << QStringList{""} << QString();
    QTest::newRow("keys above 20") << numbered << firstTwenty << QString();
    QTest::newRow("duplicate keys") << valid + "[Recent%20Files]\n1=/c\n"
                                    << QStringList{"/c"} << QString();
}

// A file damaged by hand, by another program or by the disk: the list starts with what can be
// read, and a file that does not read as written is kept once, whole and private, before the
// first save writes over it.
void UserSettingsStoreTest::damagedFileStartsWhatCanBeReadAndIsKeptOnce()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, listed);
    QFETCH(QString, misread);
    const QString name = QStringLiteral("damaged-%1").arg(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(QFileInfo(confPath(name)).path()));
    QFile original(confPath(name));
    QVERIFY(original.open(QIODevice::WriteOnly) && original.write(contents) == contents.size());
    original.close();
    const QFile::Permissions privateMode = QFile::ReadOwner | QFile::WriteOwner;
    QVERIFY(original.setPermissions(privateMode));
    const QDir folder = QFileInfo(confPath(name)).dir();
    const auto kept
        = [&] { return folder.entryList({name + QStringLiteral(".conf.unreadable-*")}); };
    const auto mode = [](const QString& path) {
        return QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser);
    };
    const auto shown = [](const WindowlessCopy& copy) {
        QStringList tags;
        for (const std::string& tag : copy.tags())
            tags << QString::fromStdString(tag);
        return tags;
    };

    {
        UserSettingsStore store(home.settingsPath(name));
        QVERIFY(noticesOf(store).empty());
        WindowlessCopy copy(store);
        copy.startUp();
        QCOMPARE(shown(copy), listed);
        copy.open("/opened");
        QCOMPARE(copy.messages.errors, std::vector<std::string>());
        const QString notice = QString::fromStdString(
            copy.messages.notices.empty() ? std::string() : copy.messages.notices.back());
        QCOMPARE(kept().size(), misread.isEmpty() ? 0 : 1);
        if (!misread.isEmpty()) {
            QVERIFY2(notice.contains(kept()[0]) && notice.contains(misread), qPrintable(notice));
            QFile copied(folder.filePath(kept()[0]));
            QVERIFY(copied.open(QIODevice::ReadOnly) && copied.readAll() == contents);
            QCOMPARE(mode(copied.fileName()), privateMode);
        }
        QCOMPARE(mode(confPath(name)), privateMode);
    }

    UserSettingsStore restarted(home.settingsPath(name));
    QVERIFY(noticesOf(restarted).empty());
    WindowlessCopy copy(restarted);
    copy.startUp();
    QCOMPARE(copy.tags().front(), "/opened");
    copy.open("/again");
    QCOMPARE(kept().size(), misread.isEmpty() ? 0 : 1);
    QVERIFY(copy.messages.notices.empty());
}

void UserSettingsStoreTest::reloadFindsEachSaveOfAnotherCopy()
{
    // Saves of equal size within one clock tick: a size and time stamp cannot tell them apart.
    UserSettingsStore mine(home.settingsPath(QStringLiteral("quick")));
    UserSettingsStore other(home.settingsPath(QStringLiteral("quick")));
    for (const char* path : {"/a/1", "/a/2", "/a/3", "/a/4"}) {
        changeStore(other, [&] { other.SaveSetting("Recent Files", "1", path); });
        QVERIFY(mine.refresh() == Refreshed::Changed);
        QCOMPARE(mine.GetSetting("Recent Files", "1", ""), std::string(path));
        QVERIFY(mine.refresh() == Refreshed::Unchanged);
    }
}

// An editor that never stops writing in place: a change waits a second for it and gives up with
// nothing changed; a refresh quietly shows the list as it was until the writer's next change.
void UserSettingsStoreTest::writerThatDoesNotSettleFailsAChangeAndNoRefresh()
{
    UserSettingsStore store(home.settingsPath(QStringLiteral("busy")));
    changeStore(store, [&] { store.SaveSetting("Recent Files", "1", "/before"); });
    struct Writer {
        explicit Writer(const QByteArray& path)
            : thread([this, path] {
                for (int round = 0; writing; ++round) {
                    const int file = ::open(path.constData(), O_WRONLY | O_TRUNC);
                    const std::string text
                        = "[Recent%20Files]\n1=/round/" + std::to_string(round) + '\n';
                    [[maybe_unused]] const ssize_t written
                        = ::write(file, text.data(), text.size());
                    ::close(file);
                    ++rounds;
                    QThread::msleep(10);
                }
            })
        {
            while (rounds == 0)
                QThread::msleep(1);
        }
        ~Writer()
        {
            writing = false;
            thread.join();
        }
        std::atomic<bool> writing = true;
        std::atomic<int> rounds = 0;
        std::thread thread;
    };
    auto writer = std::make_unique<Writer>(QByteArray::fromStdString(store.path()));

    QVERIFY(store.refresh() == Refreshed::Settling);
    QCOMPARE(store.GetSetting("Recent Files", "1", ""), std::string("/before"));
    QElapsedTimer waited;
    waited.start();
    QVERIFY2(
        store.beginSharedChange() == SharedChange::Refused, "a file that never settled was taken");
    const QString notice = QString::fromStdString(noticesOf(store));
    QVERIFY2(notice.contains("being written by another program"), qPrintable(notice));
    QVERIFY2(waited.elapsed() >= 900 && waited.elapsed() < 5000,
        qPrintable(QString::number(waited.elapsed())));
    writer.reset();
    bool shown = false;
    QTRY_VERIFY((shown = shown || store.refresh() == Refreshed::Changed));
    QVERIFY(
        QString::fromStdString(store.GetSetting("Recent Files", "1", "")).startsWith("/round/"));
}

void UserSettingsStoreTest::fileWrittenInTwoChunksIsTakenOnlyWhole_data()
{
    QTest::addColumn<QByteArray>("firstChunk");
    QTest::newRow("cut inside a number") << "[Config]\nMAX_FILES=2"_qba;
    QTest::newRow("cut at a line end")
        << "[Config]\nMAX_FILES=20\nnoHIX=19\n\n[Recent%20Files]\n1=/1\n"_qba;
    QTest::newRow("nothing written yet") << QByteArray();
}

// A program that writes the file in place in two chunks, pausing longer than the file must hold
// still in between, as a sync tool or a script writing line by line does: a change made during
// the pause waits for the rest, and takes the file only once it is whole.
void UserSettingsStoreTest::fileWrittenInTwoChunksIsTakenOnlyWhole()
{
    QFETCH(QByteArray, firstChunk);
    QByteArray whole = "[Config]\nMAX_FILES=20\nnoHIX=19\n\n[Recent%20Files]\n";
    for (int position = 1; position <= 19; ++position)
        whole += QByteArray::number(position) + "=/" + QByteArray::number(position) + '\n';
    QVERIFY(whole.startsWith(firstChunk));
    UserSettingsStore store(home.settingsPath(QStringLiteral("chunks")));
    changeStore(store, [&] { store.SaveSetting("Recent Files", "1", "/before"); });
    std::atomic<bool> firstWritten = false;
    std::thread writer([&] {
        const int file = ::open(store.path().c_str(), O_WRONLY | O_TRUNC);
        [[maybe_unused]] ssize_t written = ::write(file, firstChunk.data(), firstChunk.size());
        firstWritten = true;
        QThread::msleep(300);
        written = ::write(file, whole.data() + firstChunk.size(), whole.size() - firstChunk.size());
        ::close(file);
    });
    while (!firstWritten)
        QThread::msleep(1);
    QThread::msleep(150);

    const SharedChange begun = store.beginSharedChange();
    store.abandonSharedChange();
    writer.join();

    QVERIFY(begun == SharedChange::Reread);
    QCOMPARE(store.GetSetting("Config", "MAX_FILES", ""), std::string("20"));
    QCOMPARE(store.GetSetting("Recent Files", "19", ""), std::string("/19"));
    QCOMPARE(noticesOf(store), std::string());
}

// An editor saves in place, or by rename, between the copy's read and its save: the copy's change
// is made again on the editor's text, which stays.
void UserSettingsStoreTest::saveNeverGoesOverAnEditMadeSinceTheRead_data()
{
    QTest::addColumn<bool>("byRename");
    QTest::newRow("in place") << false;
    QTest::newRow("by rename") << true;
}

void UserSettingsStoreTest::saveNeverGoesOverAnEditMadeSinceTheRead()
{
    QFETCH(bool, byRename);
    const QString name = QStringLiteral("edited-meanwhile-%1").arg(byRename);
    UserSettingsStore store(home.settingsPath(name));
    changeStore(store, [&] { store.SaveSetting("Recent Files", "1", "/saved"); });
    QVERIFY(store.beginSharedChange() == SharedChange::Unchanged);
    QSaveFile renamed(confPath(name));
    QFile inPlace(confPath(name));
    QFileDevice& editor = byRename ? static_cast<QFileDevice&>(renamed) : inPlace;
    QVERIFY(editor.open(QIODevice::WriteOnly | QIODevice::Truncate));
    editor.write("[Recent%20Files]\n1=/saved\n2=/edited\n");
    QVERIFY(byRename ? renamed.commit() : (inPlace.close(), true));

    store.SaveSetting("Recent Files", "1", "/mine");
    QVERIFY(store.finishSharedChange() == Saving::ReadAgain);
    QCOMPARE(store.GetSetting("Recent Files", "2", ""), std::string("/edited"));
    store.SaveSetting("Recent Files", "1", "/mine");
    QVERIFY(store.finishSharedChange() == Saving::Saved);

    QFile saved(confPath(name));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), "[Recent%20Files]\n1=/mine\n2=/edited\n"_qba);
}

void UserSettingsStoreTest::unsavedChangeOutlivesAChangeOfPermissions()
{
    UserSettingsStore store(home.settingsPath(QStringLiteral("chmod")));
    changeStore(store, [&] { store.SaveSetting("Recent Files", "1", "/saved"); });
    store.SaveSetting("Recent Files", "1", "/not yet saved");
    QFile file(qtFileName(store.path()));
    QVERIFY(file.setPermissions(QFile::ReadOwner));
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));

    QVERIFY(store.refresh() == Refreshed::Unchanged);
    QCOMPARE(store.GetSetting("Recent Files", "1", ""), std::string("/not yet saved"));
}

void UserSettingsStoreTest::anyFileWhereTheLockBelongsStillLocks()
{
    UserSettingsStore store(home.settingsPath(QStringLiteral("strange-lock")));
    QFile lockFile(confPath(QStringLiteral("strange-lock")) + QStringLiteral(".lock"));
    QVERIFY(lockFile.open(QIODevice::WriteOnly));
    lockFile.write("not a lock\x00\x01");
    lockFile.close();

    changeStore(store, [&] { store.SaveSetting("Recent Files", "1", "/locked"); });

    QCOMPARE(UserSettingsStore(home.settingsPath(QStringLiteral("strange-lock")))
                 .GetSetting("Recent Files", "1", ""),
        std::string("/locked"));
}

void UserSettingsStoreTest::valuesSavedAsTheyWereWriteNothing()
{
    UserSettingsStore store(home.settingsPath(QStringLiteral("unchanged")));
    const auto setTheSame = [&] {
        store.SaveSetting("Config", "MAX_FILES", "3");
        store.SaveSetting("Recent Files", "1", "/a");
        store.DeleteSetting("Recent Files", "2");
    };
    changeStore(store, setTheSame);
    const QFileInfo written(qtFileName(store.path()));

    changeStore(store, setTheSame);

    const QFileInfo after(qtFileName(store.path()));
    QCOMPARE(after.fileTime(QFile::FileMetadataChangeTime),
        written.fileTime(QFile::FileMetadataChangeTime));
}

QTEST_GUILESS_MAIN(UserSettingsStoreTest)
#include "usersettingsstoretest.moc"
