#include "window/settingslocation.h"

#include <QTest>

class SettingsLocationTest : public QObject {
    Q_OBJECT

private slots:
    void fileFollowsTheXdgRules_data();
    void fileFollowsTheXdgRules();
};

void SettingsLocationTest::fileFollowsTheXdgRules_data()
{
    QTest::addColumn<QByteArray>("configHome");
    QTest::addColumn<QByteArray>("home");
    QTest::addColumn<QString>("file");
    QTest::newRow("configuration home")
        << QByteArray("/xdg") << QByteArray("/home/a") << QStringLiteral("/xdg/hix/located.conf");
    QTest::newRow("relative configuration home ignored") << QByteArray(
        "relative") << QByteArray("/home/a") << QStringLiteral("/home/a/.config/hix/located.conf");
    QTest::newRow("no configuration home") << QByteArray() << QByteArray("/home/a")
                                           << QStringLiteral("/home/a/.config/hix/located.conf");
    QTest::newRow("no home either") << QByteArray() << QByteArray()
                                    << QFile::decodeName(qgetenv("USER") == "root" ? "/root" : "")
            + QStringLiteral("/.config/hix/located.conf");
}

void SettingsLocationTest::fileFollowsTheXdgRules()
{
    QFETCH(QByteArray, configHome);
    QFETCH(QByteArray, home);
    QFETCH(QString, file);
    const QString located = QString::fromStdString(
        settingsFilePath("located", configHome.isNull() ? nullptr : configHome.constData(),
            home.isNull() ? nullptr : home.constData()));
    if (home.isNull())
        QVERIFY2(located.endsWith(file), qPrintable(located));
    else
        QCOMPARE(located, file);
}

QTEST_GUILESS_MAIN(SettingsLocationTest)
#include "settingslocationtest.moc"
