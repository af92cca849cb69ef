#include "fakes.h"
#include "form1.h"
#include "usersettingsstore.h"

#include <QDir>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using Paths = QStringList;

// Settings files damaged by hand, by other programs or by the disk: the program starts with what
// it can read, keeps its next save whole, and keeps the damaged file before it writes over it.
class CorruptSettingsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void startsWithWhatItCanRead_data();
    void startsWithWhatItCanRead();

private:
    QTemporaryDir configHome;
};

void CorruptSettingsTest::initTestCase()
{
    QVERIFY(configHome.isValid());
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
}

namespace {

const QByteArray twoPaths = "[Config]\nMAX_FILES=5\nnoHIX=2\n\n[Recent%20Files]\n1=/a\n2=/b\n";

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(42);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QByteArray numbered(int count)
{
    QByteArray bytes
        = "[Config]\nMAX_FILES=20\nnoHIX=" + QByteArray::number(count) + "\n[Recent%20Files]\n";
    for (int i = 1; i <= count; ++i)
        bytes += QByteArray::number(i) + "=/" + QByteArray::number(i) + "\n";
    return bytes;
}

Paths numberedPaths(int count)
{
    Paths paths;
    for (int i = 1; i <= count; ++i)
        paths << QStringLiteral("/%1").arg(i);
    return paths;
}

} // namespace

void CorruptSettingsTest::startsWithWhatItCanRead_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Paths>("listed");
    QTest::addColumn<bool>("keptAsUnreadable");

    QTest::newRow("garbage text") << QByteArray("this is no settings file\nat all\n") << Paths{""}
                                  << true;
    QTest::newRow("binary bytes") << randomBytes(4096) << Paths{""} << true;
    QTest::newRow("truncated") << twoPaths + "3" << Paths{"/a", "/b"} << true;
    QTest::newRow("invalid UTF-8")
        << QByteArray("[Config]\nnoHIX=1\n[Recent%20Files]\n1=/a\xff\xfe.txt\n")
        << Paths{u"/a\uFFFD\uFFFD.txt"_qs} << true;
    QTest::newRow("section without ]")
        << QByteArray("[Config\nnoHIX=1\n[Recent%20Files]\n1=/a\n") << Paths{"/a"} << true;
    QTest::newRow("commas and semicolons")
        << QByteArray("[Config]\nnoHIX=2\n[Recent%20Files]\n1=/a, b\n2=/c;d\n")
        << Paths{"/a, b", "/c"} << true;
    QTest::newRow("non-numeric counters")
        << QByteArray("[Config]\nMAX_FILES=many\nnoHIX=abc\n[Recent%20Files]\n1=/a\n") << Paths{""}
        << false;
    QTest::newRow("huge counters") << QByteArray(
        "[Config]\nMAX_FILES=1e400\nnoHIX=99999999999999999999\n[Recent%20Files]\n1=/a\n")
                                   << Paths{""} << false;
    QTest::newRow("keys above 20") << numbered(25) << numberedPaths(20) << false;
    QTest::newRow("key with a slash") << twoPaths + "3/=/c\n" << Paths{"/a", "/b"} << true;
    QTest::newRow("duplicate keys") << twoPaths + "[Recent%20Files]\n1=/c\n"
                                    << Paths{"/c", "/b"} << false;
    QTest::newRow("NUL byte") << twoPaths + QByteArray("3=/c\0d\n", 7) << Paths{"/a", "/b"} << true;
    QTest::newRow("10 MB") << twoPaths + "junk=" + QByteArray(10 << 20, 'x') + "\n"
                           << Paths{"/a", "/b"} << false;
}

void CorruptSettingsTest::startsWithWhatItCanRead()
{
    QFETCH(QByteArray, file);
    QFETCH(Paths, listed);
    QFETCH(bool, keptAsUnreadable);
    QDir folder(configHome.filePath(QStringLiteral("hix")));
    folder.removeRecursively();
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    QFile settings(folder.filePath(QStringLiteral("corrupt.conf")));
    QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write(file) == file.size());
    settings.close();

    UserSettingsStore store(QStringLiteral("corrupt"));
    FakeMessageBox messages;
    ScriptedFileDialog dialog;
    Form1 form(store, &messages, &dialog);
    form.show();

    Paths tags;
    for (std::int16_t index = 1; index <= form.mnuHIX().count(); ++index)
        tags << QString::fromStdString(form.mnuHIX().tag(index));
    QCOMPARE(tags, listed);

    // The next save is whole, and a file that could not be read in full was kept first.
    dialog.answers.push_back("/opened");
    QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(messages.errors, std::vector<std::string>());
    QCOMPARE(form.mnuHIX().tag(1), std::string("/opened"));
    UserSettingsStore reread(QStringLiteral("corrupt"));
    QCOMPARE(reread.takeNotice(), std::string());
    QCOMPARE(reread.GetSetting("Recent Files", "1", ""), std::string("/opened"));
    const QStringList kept = folder.entryList({QStringLiteral("corrupt.conf.unreadable-*")});
    QCOMPARE(kept.size(), keptAsUnreadable ? 1 : 0);
    if (keptAsUnreadable) {
        QFile copy(folder.filePath(kept.front()));
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QVERIFY(copy.readAll() == file);
    }
}

QTEST_MAIN(CorruptSettingsTest)
#include "corruptsettingstest.moc"
