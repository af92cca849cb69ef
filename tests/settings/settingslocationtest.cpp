#include "settings/settingslocation.h"

#include <QTest>
#include <cstring>

class SettingsLocationTest : public QObject {
    Q_OBJECT

private slots:
    void fileFollowsTheXdgRules_data();
    void fileFollowsTheXdgRules();
    void everyProgramNameHasAFileThatFits_data();
    void everyProgramNameHasAFileThatFits();
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

void SettingsLocationTest::everyProgramNameHasAFileThatFits_data()
{
    QTest::addColumn<QByteArray>("executable");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("plain") << QByteArray("/usr/bin/hix") << QByteArray("hix");
    QTest::newRow("extension") << QByteArray("/opt/hix.bin") << QByteArray("hix");
    QTest::newRow("no folder") << QByteArray("hix") << QByteArray("hix");
    QTest::newRow("not UTF-8") << QByteArray("/tmp/hix\xE9") << QByteArray("hix\xE9");
    QTest::newRow("other bytes not UTF-8") << QByteArray("/tmp/hix\xFF") << QByteArray("hix\xFF");
    for (const int length : {200, 215, 216, 238, 255}) {
        const QByteArray name
            = QByteArray("h\xC3\xA9").repeated(length / 3) + QByteArray(length % 3, 'x');
        QTest::addRow("%d bytes", length) << "/usr/bin/" + name << name;
    }
}

// Names are bytes from the executable to the file, and no name the program makes beside the
// settings file passes the file system's 255 bytes: a long name keeps its start and a hash.
void SettingsLocationTest::everyProgramNameHasAFileThatFits()
{
    QFETCH(QByteArray, executable);
    QFETCH(QByteArray, name);
    QCOMPARE(QByteArray::fromStdString(programName(executable.toStdString())), name);

    const auto fileOf = [](const QByteArray& name) {
        const std::string path = settingsFilePath(name.toStdString(), "/xdg", nullptr);
        return QByteArray::fromStdString(path.substr(path.rfind('/') + 1));
    };
    const QByteArray file = fileOf(name);
    QVERIFY2(
        file.size() + std::strlen(".unreadable-2026-12-08-123456-100") <= 255, file.constData());
    if (name.size() <= 215)
        QCOMPARE(file, name + ".conf");
    else
        QVERIFY(file.startsWith(name.left(150)) && QString::fromUtf8(file).toUtf8() == file);
    QVERIFY(fileOf(name + 'x') != file && fileOf(name.chopped(1) + '\xFE') != file);
}

QTEST_GUILESS_MAIN(SettingsLocationTest)
#include "settingslocationtest.moc"
