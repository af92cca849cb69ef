#include "settings/usersettingsstore.h"
#include "tests/support/fakes.h"
#include "tests/support/settingshome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <memory>
#include <set>
#include <vector>

class SharedListTest : public QObject {
    Q_OBJECT

private slots:
    void copiesOpeningAtOnceLoseNothing_data();
    void copiesOpeningAtOnceLoseNothing();
    void editRightAfterASaveIsNeverWrittenOver();
    void removedLockFileLetsNothingBeWrittenOver();
    void editsSavedByRenameDuringSavesAreNeverWrittenOver();
    void heldLockGivesUpAfterTwoSecondsAndChangesNothing();

private:
    SettingsHome home;
};

namespace {

std::unique_ptr<QProcess> startCopy(const QStringList& arguments, const QStringList& environment)
{
    auto copy = std::make_unique<QProcess>();
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : environment)
        variables.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    copy->setProcessEnvironment(variables);
    copy->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    copy->start(QStringLiteral(COPY_PROGRAM), arguments);
    return copy;
}

// Preloaded, so that each copy's syncs in folder take 60 ms, as on a slow disk.
QStringList slowDisk(const QString& folder)
{
    return {QStringLiteral("LD_PRELOAD=" FAULT_SHIM), QStringLiteral("HIX_FAULT=slow-sync"),
        QStringLiteral("HIX_FAULT_FOLDER=") + folder, QStringLiteral("HIX_FAULT_WHILE=") + folder,
        // Under the sanitizers, the shim comes ahead of their library.
        QStringLiteral("ASAN_OPTIONS=%1:verify_asan_link_order=0")
            .arg(qEnvironmentVariable("ASAN_OPTIONS"))};
}

} // namespace

void SharedListTest::copiesOpeningAtOnceLoseNothing_data()
{
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("opens");
    // The most a copy pauses after each open: no pause is a script, not a person.
    QTest::addColumn<int>("pause");
    // Preloaded, so each copy's syncs take as long as on a slow disk.
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<bool>("editorRewrites");
    const int opens = qEnvironmentVariableIntValue("HIX_SHARED_OPENS");
    QTest::newRow("two copies") << 2 << (opens > 0 ? opens : 100) << 3 << QStringList() << false;
    QTest::newRow("two copies and an editor saving in place")
        << 2 << (opens > 0 ? opens : 50) << 3 << QStringList() << true;
    const QString folder = home.path(QStringLiteral("hix"));
    QTest::newRow("four copies back to back, 60 ms a sync")
        << 4 << (opens > 0 ? opens / 10 : 10) << 0
        << QStringList{QStringLiteral("LD_PRELOAD=" FAULT_SHIM),
               QStringLiteral("HIX_FAULT=slow-sync"), QStringLiteral("HIX_FAULT_FOLDER=") + folder,
               QStringLiteral("HIX_FAULT_WHILE=") + folder,
               // Under the sanitizers, the shim comes ahead of their library.
               QStringLiteral("ASAN_OPTIONS=%1:verify_asan_link_order=0")
                   .arg(qEnvironmentVariable("ASAN_OPTIONS"))}
        << false;
}

// The copies take turns, each under the lock, on the list as stored: without a lost update the
// list holds the last twenty opened, newest first, whatever else writes the file meanwhile.
void SharedListTest::copiesOpeningAtOnceLoseNothing()
{
    QFETCH(int, copies);
    QFETCH(int, opens);
    QFETCH(int, pause);
    QFETCH(QStringList, environment);
    QFETCH(bool, editorRewrites);
    const QString file
        = home.settingsFile(QStringLiteral("shared%1").arg(QTest::currentDataTag()).remove(u' '));
    std::vector<std::unique_ptr<QProcess>> running;
    for (int copy = 0; copy < copies; ++copy) {
        running.push_back(startCopy({"open", file, QStringLiteral("copy%1").arg(copy),
                                        QString::number(opens), QString::number(pause)},
            environment));
    }
    std::unique_ptr<QProcess> editor;
    if (editorRewrites)
        editor = startCopy({"rewrite", file}, environment);
    for (const auto& copy : running) {
        QVERIFY(copy->waitForFinished(600'000));
        QCOMPARE(copy->exitCode(), 0);
    }
    int rewrites = 0;
    if (editor) {
        QFile(file + QStringLiteral(".stop")).open(QIODevice::WriteOnly);
        QVERIFY(editor->waitForFinished(10'000));
        QCOMPARE(editor->exitCode(), 0);
        rewrites = editor->readAllStandardOutput().trimmed().toInt();
        qInfo("%d rewrites in place", rewrites);
    }

    QFile orderFile(file + QStringLiteral(".order"));
    QVERIFY(orderFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> order = orderFile.readAll().split('\n').mid(0, copies * opens);
    QCOMPARE(order.size(), copies * opens);
    int turns = 0;
    for (int i = 1; i < order.size(); ++i)
        turns += order[i].left(6) != order[i - 1].left(6);
    QVERIFY2(turns >= opens / 10, qPrintable(QStringLiteral("%1 turns").arg(turns)));
    UserSettingsStore store(QFile::encodeName(file).toStdString());
    QCOMPARE(store.GetSetting("Config", "noHIX", ""), std::string("20"));
    for (int position = 1; position <= 20; ++position)
        QCOMPARE(store.GetSetting("Recent Files", std::to_string(position), ""),
            order[order.size() - position].toStdString());
    if (editor)
        QVERIFY2(rewrites >= opens / 10, qPrintable(QStringLiteral("%1 rewrites").arg(rewrites)));
}

// On a file system whose clock has whole seconds, an edit of the same size right after a save
// leaves every time stamp as it was; only the bytes tell.
void SharedListTest::editRightAfterASaveIsNeverWrittenOver()
{
    const std::unique_ptr<QProcess> copy
        = startCopy({"edit", home.settingsFile(QStringLiteral("edited")), "10"}, {});
    QVERIFY(copy->waitForFinished(60'000));
    QCOMPARE(copy->exitCode(), 0);
}

// Two copies open ten paths each while a clean-up removes the lock file again and again: no
// copy's open is written over by the other's, so the list holds all twenty.
void SharedListTest::removedLockFileLetsNothingBeWrittenOver()
{
    const QString file = home.settingsFile(QStringLiteral("unlocked"));
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    std::vector<std::unique_ptr<QProcess>> running;
    for (const char* tag : {"one", "two"})
        running.push_back(
            startCopy({"open", file, tag, "10", "3"}, slowDisk(QFileInfo(file).path())));
    const std::unique_ptr<QProcess> cleaner = startCopy({"clean", file}, {});
    for (const auto& copy : running) {
        QVERIFY(copy->waitForFinished(60'000));
        QCOMPARE(copy->exitCode(), 0);
    }
    QFile(file + QStringLiteral(".stop")).open(QIODevice::WriteOnly);
    QVERIFY(cleaner->waitForFinished(10'000));

    UserSettingsStore store(QFile::encodeName(file).toStdString());
    std::set<std::string> listed;
    for (int position = 1; position <= 20; ++position)
        listed.insert(store.GetSetting("Recent Files", std::to_string(position), ""));
    for (const char* tag : {"one", "two"}) {
        for (int open = 0; open < 10; ++open) {
            const std::string path = QStringLiteral("/%1/%2")
                                         .arg(tag)
                                         .arg(open, 4, 10, QLatin1Char('0'))
                                         .toStdString();
            QVERIFY2(listed.contains(path), path.c_str());
        }
    }
}

// An editor that saves by rename (sed -i) without the lock, while two copies save on a disk
// whose syncs take 60 ms: every edit it made is in the file at the end, none replaced by a copy's
// save made from the file before it.
void SharedListTest::editsSavedByRenameDuringSavesAreNeverWrittenOver()
{
    const QString file = home.settingsFile(QStringLiteral("renamed"));
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    constexpr int edits = 30;
    std::vector<std::unique_ptr<QProcess>> running;
    for (const char* tag : {"one", "two"})
        running.push_back(
            startCopy({"open", file, tag, "15", "20"}, slowDisk(QFileInfo(file).path())));
    running.push_back(startCopy({"rename-edits", file, QString::number(edits)}, {}));
    for (const auto& process : running) {
        QVERIFY(process->waitForFinished(120'000));
        QCOMPARE(process->exitCode(), 0);
    }

    QStringList expected;
    for (int edit = 1; edit <= edits; ++edit)
        expected << QString::number(edit);
    const QString made = QString::fromStdString(
        UserSettingsStore(QFile::encodeName(file).toStdString()).GetSetting("Config", "edits", ""));
    QCOMPARE(made.split(u' '), expected);
}

void SharedListTest::heldLockGivesUpAfterTwoSecondsAndChangesNothing()
{
    UserSettingsStore store(home.settingsPath(QStringLiteral("held")));
    changeStore(store, [&] { store.SaveSetting("Recent Files", "1", "/before"); });
    const std::unique_ptr<QProcess> holder
        = startCopy({"hold", home.settingsFile(QStringLiteral("held")), "5000"}, {});
    QVERIFY(holder->waitForReadyRead(10'000));

    store.SaveSetting("Recent Files", "1", "/during");
    QElapsedTimer waited;
    waited.start();
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, store.lock());
    QVERIFY2(waited.elapsed() >= 1900 && waited.elapsed() < 4500,
        qPrintable(QString::number(waited.elapsed())));
    QVERIFY(holder->state() == QProcess::Running);

    QVERIFY(holder->waitForFinished(10'000));
    QCOMPARE(UserSettingsStore(store.path()).GetSetting("Recent Files", "1", ""),
        std::string("/before"));
}

QTEST_GUILESS_MAIN(SharedListTest)
#include "sharedlisttest.moc"
