#include "platform/usersettingsstore.h"
#include "tests/support/testwindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

class SharedListTest : public QObject {
    Q_OBJECT

private slots:
    void twoCopiesOpeningAtOnceLoseNothing();
    void heldLockGivesUpAfterTwoSecondsAndChangesNothing();

private:
    SettingsHome home;
};

void SharedListTest::twoCopiesOpeningAtOnceLoseNothing()
{
    const QString opens = qEnvironmentVariable("HIX_SHARED_OPENS", QStringLiteral("100"));
    QProcess first, second;
    first.start(QStringLiteral(COPY_PROGRAM), {"open", "twice", "first", opens});
    second.start(QStringLiteral(COPY_PROGRAM), {"open", "twice", "second", opens});
    QVERIFY(first.waitForFinished(600'000) && second.waitForFinished(600'000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(second.exitCode(), 0);

    UserSettingsStore store(QStringLiteral("twice"));
    QFile orderFile(QFileInfo(store.fileName()).path() + QStringLiteral("/twice.order"));
    QVERIFY(orderFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> order = orderFile.readAll().split('\n').mid(0, 2 * opens.toInt());
    QCOMPARE(order.size(), 2 * opens.toInt());
    int turns = 0;
    for (int i = 1; i < order.size(); ++i)
        turns += order[i].left(3) != order[i - 1].left(3);
    QVERIFY2(turns >= opens.toInt() / 10, qPrintable(QStringLiteral("%1 turns").arg(turns)));

    // The copies took turns; without a lost update the list holds the last twenty, newest first.
    QCOMPARE(store.GetSetting("Config", "noHIX", ""), std::string("20"));
    for (int position = 1; position <= 20; ++position)
        QCOMPARE(store.GetSetting("Recent Files", std::to_string(position), ""),
            order[order.size() - position].toStdString());
}

void SharedListTest::heldLockGivesUpAfterTwoSecondsAndChangesNothing()
{
    UserSettingsStore store(QStringLiteral("held"));
    store.SaveSetting("Recent Files", "1", "/before");
    store.flush();
    QProcess holder;
    holder.start(QStringLiteral(COPY_PROGRAM), {"hold", "held", "5000"});
    QVERIFY(holder.waitForReadyRead(10'000));

    store.SaveSetting("Recent Files", "1", "/during");
    QElapsedTimer waited;
    waited.start();
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, store.lock());
    QVERIFY2(waited.elapsed() >= 1900 && waited.elapsed() < 4500,
        qPrintable(QString::number(waited.elapsed())));
    QVERIFY(holder.state() == QProcess::Running);

    QVERIFY(holder.waitForFinished(10'000));
    QCOMPARE(UserSettingsStore(QStringLiteral("held")).GetSetting("Recent Files", "1", ""),
        std::string("/before"));
}

QTEST_GUILESS_MAIN(SharedListTest)
#include "sharedlisttest.moc"
