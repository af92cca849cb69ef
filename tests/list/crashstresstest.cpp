#include "stressactions.h"
#include "usersettingsstore.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <vector>

using Values = std::map<FakeStore::Key, std::string>;

class CrashStressTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void killedCopiesLeaveTheirLastStepOrTheNext();

private:
    Values readBack() const;
    QStringList unfinishedSaves() const;
    QStringList scratchFiles() const;

    QTemporaryDir home;
    QString settingsFolder;
};

void CrashStressTest::initTestCase()
{
    QVERIFY(home.isValid());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    // The copies' scratch files are counted in a runtime folder of the test's own.
    const QString runtime = home.filePath(QStringLiteral("runtime"));
    QVERIFY(QDir(home.path()).mkpath(runtime));
    QVERIFY(QFile::setPermissions(
        runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    settingsFolder = home.filePath(QStringLiteral("config/hix"));
}

Values CrashStressTest::readBack() const
{
    UserSettingsStore store(QStringLiteral("stress"));
    if (const std::string notice = store.takeNotice(); !notice.empty())
        qFatal("The settings file does not load: %s", notice.c_str());
    return storedValues(store);
}

QStringList CrashStressTest::unfinishedSaves() const
{
    QStringList files = QDir(settingsFolder).entryList(QDir::Files | QDir::Hidden);
    files.removeAll(QStringLiteral("stress.conf"));
    files.removeAll(QStringLiteral("stress.conf.lock"));
    return files;
}

QStringList CrashStressTest::scratchFiles() const
{
    return QDir(home.filePath(QStringLiteral("runtime"))).entryList(QDir::Files | QDir::Hidden);
}

void CrashStressTest::killedCopiesLeaveTheirLastStepOrTheNext()
{
    const int kills = qEnvironmentVariableIntValue("HIX_STRESS_KILLS") > 0
        ? qEnvironmentVariableIntValue("HIX_STRESS_KILLS")
        : 50;
    const QString journal = home.filePath(QStringLiteral("journal"));
    QRandomGenerator random(QRandomGenerator::global()->generate());
    qsizetype mostUnfinished = 0;
    qsizetype mostScratch = 0;
    qint64 allSteps = 0;
    int killedMidStep = 0;

    for (int kill = 0; kill < kills; ++kill) {
        const Values before = readBack();
        const std::uint32_t seed = random.generate();
        QFile::remove(journal);
        QProcess copy;
        copy.start(QStringLiteral(DRIVER_PROGRAM), {QString::number(seed), journal});
        QVERIFY(copy.waitForStarted());
        QThread::usleep(random.bounded(30'000));
        ::kill(pid_t(copy.processId()), SIGKILL);
        QVERIFY(copy.waitForFinished());
        QVERIFY2(copy.exitStatus() == QProcess::CrashExit, copy.readAllStandardError().constData());
        const qint64 steps = QFileInfo(journal).size();

        // Replayed over the in-memory store, the seed gives every state the file may be in.
        FakeStore replay;
        replay.values = replay.saved = before;
        StressActions actions(seed, replay);
        std::vector<Values> states{before};
        for (qint64 step = 0; step <= steps; ++step) {
            step == 0 ? actions.start() : actions.next();
            states.push_back(storedValues(replay));
        }
        const Values after = readBack();
        QVERIFY2(after == states[steps] || after == states[steps + 1],
            qPrintable(QStringLiteral("kill %1 of seed %2 after %3 steps")
                           .arg(kill)
                           .arg(seed)
                           .arg(steps)));
        // Each copy removes the scratch files of the copies before it once it is up; what a save
        // left waits for the next save.
        mostScratch = std::max(mostScratch, scratchFiles().size());
        mostUnfinished = std::max(mostUnfinished, unfinishedSaves().size());
        allSteps += steps;
        killedMidStep += after != states[steps];
    }
    qInfo("%d copies killed after %lld completed steps in all, %d of them between a save and "
          "its journal entry; at most %lld scratch files and %lld unfinished saves left at once",
        kills, allSteps, killedMidStep, qlonglong(mostScratch), qlonglong(mostUnfinished));
    QVERIFY(mostScratch <= 4);
    QVERIFY(mostUnfinished <= 2);

    // A copy that started leaves at most its own scratch files.
    QFile::remove(journal);
    QProcess last;
    last.start(QStringLiteral(DRIVER_PROGRAM), {QStringLiteral("1"), journal});
    QTRY_VERIFY(QFileInfo(journal).size() > 0);
    const QString ownScratch = QStringLiteral("hix-settings-%1-").arg(last.processId());
    ::kill(pid_t(last.processId()), SIGKILL);
    QVERIFY(last.waitForFinished());
    for (const QString& name : scratchFiles())
        QVERIFY2(name.startsWith(ownScratch), qPrintable(name));

    // The next copy to save clears the unfinished saves of the killed ones.
    UserSettingsStore store(QStringLiteral("stress"));
    {
        const SettingsLock lock(store);
        store.SaveSetting("Config", "MAX_FILES", "7");
        store.flush();
    }
    QCOMPARE(unfinishedSaves(), QStringList());
}

QTEST_GUILESS_MAIN(CrashStressTest)
#include "crashstresstest.moc"
