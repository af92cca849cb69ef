#include "settings/settingswatcher.h"
#include "settings/usersettingsstore.h"
#include "tests/support/testwindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSaveFile>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

// One running copy of the program: its own store over the shared file, its window and its watch.
struct Copy {
    explicit Copy(std::string settingsPath)
        : store(std::move(settingsPath))
    {
        QObject::connect(&watcher, &SettingsWatcher::changed, &window.form, &Form1::refreshList);
        window.form.show();
    }

    UserSettingsStore store;
    TestWindow window{store};
    SettingsWatcher watcher{store.path(), store.worker()};
};

using Tags = std::vector<std::string>;

} // namespace

class Form1LiveTest : public QObject {
    Q_OBJECT

private slots:
    void anotherCopysChangesShowWithinASecond();
    void changesShowWhateverHappensToTheWay_data();
    void changesShowWhateverHappensToTheWay();
    void editsShowWhileAReplacedFileIsHeldOpen();
    void aBurstOfSavesShowsAsItGoes();
    void anOutsideWriterNeverFreezesTheWindow();

private:
    SettingsHome home{QStringLiteral("home/.config")};
};

void Form1LiveTest::anotherCopysChangesShowWithinASecond()
{
    Copy a(home.settingsPath(QStringLiteral("live")));
    Copy b(home.settingsPath(QStringLiteral("live")));

    a.window.open("/home/alex/one.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(), Tags{"/home/alex/one.txt"}, 1000);

    a.window.open("/home/alex/two.txt");
    a.window.open("/home/alex/three.txt");
    a.window.submitMaximum(QStringLiteral("2"));
    QTRY_COMPARE_WITH_TIMEOUT(
        b.window.tags(), (Tags{"/home/alex/three.txt", "/home/alex/two.txt"}), 1000);
    QCOMPARE(b.window.maximumBox()->text(), QStringLiteral("2"));

    QSaveFile byHand(qtFileName(a.store.path()));
    QVERIFY(byHand.open(QIODevice::WriteOnly));
    byHand.write("[Config]\nMAX_FILES=2\nnoHIX=1\n\n[Recent%20Files]\n1=/by/hand.txt\n");
    QVERIFY(byHand.commit());
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(), Tags{"/by/hand.txt"}, 1000);

    b.window.maximumBox()->setText(QStringLiteral("1"));
    a.window.open("/home/alex/four.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(), (Tags{"/home/alex/four.txt", "/by/hand.txt"}), 1000);
    QCOMPARE(b.window.maximumBox()->text(), QStringLiteral("1"));

    QVERIFY(a.window.messages.errors.empty() && b.window.messages.errors.empty());
}

void Form1LiveTest::changesShowWhateverHappensToTheWay_data()
{
    QTest::addColumn<QString>("folder");
    // Moved away and made again with the settings copied in, rather than removed.
    QTest::addColumn<bool>("remade");
    QTest::newRow("settings folder removed") << QStringLiteral("home/.config/hix") << false;
    QTest::newRow("configuration home removed") << QStringLiteral("home/.config") << false;
    QTest::newRow("home removed") << QStringLiteral("home") << false;
    QTest::newRow("settings folder moved and made again")
        << QStringLiteral("home/.config/hix") << true;
    QTest::newRow("configuration home moved and made again")
        << QStringLiteral("home/.config") << true;
}

// A running copy follows the settings by name, wherever the folders it watched went.
void Form1LiveTest::changesShowWhateverHappensToTheWay()
{
    QFETCH(QString, folder);
    QFETCH(bool, remade);
    const QString name = QStringLiteral("way-%1").arg(QTest::currentDataTag()).replace(u' ', u'-');
    Copy a(home.settingsPath(name));
    Copy b(home.settingsPath(name));
    a.window.open("/home/alex/one.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(), Tags{"/home/alex/one.txt"}, 1000);

    const QString path = home.path(folder);
    if (remade) {
        QVERIFY(QDir().rename(path, path + QStringLiteral(".old")));
        QVERIFY(QDir().mkpath(QFileInfo(qtFileName(a.store.path())).path()));
        const QString moved
            = qtFileName(a.store.path()).replace(path, path + QStringLiteral(".old"));
        QVERIFY(QFile::copy(moved, qtFileName(a.store.path())));
    } else {
        QVERIFY(QDir(path).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(), Tags{""}, 1000);
    }
    a.window.open("/home/alex/two.txt");
    a.window.open("/home/alex/three.txt");
    Tags shown{"/home/alex/three.txt", "/home/alex/two.txt"};
    if (remade)
        shown.push_back("/home/alex/one.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(), shown, 1000);
    a.window.open("/home/alex/four.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(),
        (Tags{"/home/alex/four.txt", "/home/alex/three.txt", "/home/alex/two.txt"}), 1000);
    QVERIFY(a.window.messages.errors.empty() && b.window.messages.errors.empty());
}

// Another program keeps the file that a save replaced open: the name, not that file, is watched.
void Form1LiveTest::editsShowWhileAReplacedFileIsHeldOpen()
{
    Copy a(home.settingsPath(QStringLiteral("held-open")));
    Copy b(home.settingsPath(QStringLiteral("held-open")));
    a.window.open("/home/alex/one.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(), Tags{"/home/alex/one.txt"}, 1000);
    QFile held(qtFileName(a.store.path()));
    QVERIFY(held.open(QIODevice::ReadOnly));
    a.window.open("/home/alex/two.txt");
    QTRY_COMPARE_WITH_TIMEOUT(
        b.window.tags(), (Tags{"/home/alex/two.txt", "/home/alex/one.txt"}), 1000);

    QFile inPlace(qtFileName(a.store.path()));
    QVERIFY(inPlace.open(QIODevice::ReadWrite));
    const QByteArray edited = inPlace.readAll().replace("/home/alex/two.txt", "/home/alex/TWO.txt");
    QVERIFY(inPlace.seek(0) && inPlace.write(edited) == edited.size());
    inPlace.close();
    QTRY_COMPARE_WITH_TIMEOUT(
        b.window.tags(), (Tags{"/home/alex/TWO.txt", "/home/alex/one.txt"}), 1000);
}

// A copy that saves every 20 ms: the other shows its changes as they come, not once they stop.
void Form1LiveTest::aBurstOfSavesShowsAsItGoes()
{
    Copy a(home.settingsPath(QStringLiteral("burst")));
    Copy b(home.settingsPath(QStringLiteral("burst")));
    constexpr int saves = 100;
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> savedAt;
    std::vector<qint64> shownAt(saves, -1);
    QTimer saver;
    connect(&saver, &QTimer::timeout, this, [&] {
        a.window.open("/burst/" + std::to_string(savedAt.size()));
        savedAt.push_back(clock.elapsed());
        if (savedAt.size() == saves)
            saver.stop();
    });
    QTimer looker;
    connect(&looker, &QTimer::timeout, this, [&] {
        const std::string front = b.window.tags().front();
        if (front.starts_with("/burst/")) {
            for (int save = std::stoi(front.substr(7)); save >= 0 && shownAt[save] < 0; --save)
                shownAt[save] = clock.elapsed();
        }
    });
    saver.start(20);
    looker.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(shownAt.back() >= 0, 5000);

    qint64 longest = 0;
    for (int save = 0; save < saves; ++save)
        longest = std::max(longest, shownAt[save] - savedAt[save]);
    qInfo("%d saves 20 ms apart, each shown within %lld ms", saves, longest);
    QVERIFY2(longest < 500, qPrintable(QStringLiteral("a save showed after %1 ms").arg(longest)));
}

// A program that rewrites the file in place every 50 ms for two seconds: the window shows each
// change it can take and keeps answering all the while, and shows the last once it stops.
void Form1LiveTest::anOutsideWriterNeverFreezesTheWindow()
{
    Copy a(home.settingsPath(QStringLiteral("rewritten")));
    a.window.open("/home/alex/one.txt");
    std::atomic<bool> writing = true;
    std::thread writer([&] {
        for (int round = 0; writing; ++round) {
            QFile file(qtFileName(a.store.path()));
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write("[Config]\nMAX_FILES=3\nnoHIX=1\n\n[Recent%20Files]\n1=/rewritten/"
                    + QByteArray::number(round) + '\n');
            file.close();
            QThread::msleep(50);
        }
    });
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(5);
    QTest::qWait(2000);
    writing = false;
    writer.join();
    ticker.stop();

    qInfo("the window's longest pause while the file was rewritten: %lld ms", longestGap);
    QVERIFY2(longestGap < 250, qPrintable(QStringLiteral("frozen for %1 ms").arg(longestGap)));
    QFile file(qtFileName(a.store.path()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const std::string last = text.mid(text.indexOf("1=") + 2).trimmed().toStdString();
    QTRY_COMPARE_WITH_TIMEOUT(a.window.tags().front(), last, 2000);
}

QTEST_MAIN(Form1LiveTest)
#include "form1livetest.moc"
