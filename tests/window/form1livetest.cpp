#include "platform/settingswatcher.h"
#include "platform/usersettingsstore.h"
#include "tests/support/testwindow.h"

#include <QDir>
#include <QLineEdit>
#include <QSaveFile>
#include <QTest>

namespace {

// One running copy of the program: its own store over the shared file, its window and its watch.
struct Copy {
    explicit Copy(const QString& name = QStringLiteral("live"))
        : store(name)
    {
        QObject::connect(&watcher, &SettingsWatcher::changed, &window.form, &Form1::refreshList);
        window.form.show();
    }

    UserSettingsStore store;
    TestWindow window{store};
    SettingsWatcher watcher{store.fileName()};
};

using Tags = std::vector<std::string>;

} // namespace

class Form1LiveTest : public QObject {
    Q_OBJECT

private slots:
    void anotherCopysChangesShowWithinASecond();
    void changesShowAfterTheSettingsHomeIsRemoved_data();
    void changesShowAfterTheSettingsHomeIsRemoved();

private:
    SettingsHome home{QStringLiteral("home/.config")};
};

void Form1LiveTest::anotherCopysChangesShowWithinASecond()
{
    Copy a;
    Copy b;

    a.window.open("/home/alex/one.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(), Tags{"/home/alex/one.txt"}, 1000);

    a.window.open("/home/alex/two.txt");
    a.window.open("/home/alex/three.txt");
    a.window.submitMaximum(QStringLiteral("2"));
    QTRY_COMPARE_WITH_TIMEOUT(
        b.window.tags(), (Tags{"/home/alex/three.txt", "/home/alex/two.txt"}), 1000);
    QCOMPARE(b.window.maximumBox()->text(), QStringLiteral("2"));

    QSaveFile byHand(a.store.fileName());
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

void Form1LiveTest::changesShowAfterTheSettingsHomeIsRemoved_data()
{
    QTest::addColumn<QString>("removed");
    QTest::newRow("settings folder") << QStringLiteral("home/.config/hix");
    QTest::newRow("configuration home") << QStringLiteral("home/.config");
    QTest::newRow("home") << QStringLiteral("home");
}

void Form1LiveTest::changesShowAfterTheSettingsHomeIsRemoved()
{
    QFETCH(QString, removed);
    const QString name = QStringLiteral("removed-") + QTest::currentDataTag();
    Copy a(name);
    Copy b(name);
    a.window.open("/home/alex/one.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(), Tags{"/home/alex/one.txt"}, 1000);

    QVERIFY(QDir(home.path(removed)).removeRecursively());
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags(), Tags{""}, 1000);
    a.window.open("/home/alex/two.txt");
    a.window.open("/home/alex/three.txt");
    QTRY_COMPARE_WITH_TIMEOUT(
        b.window.tags(), (Tags{"/home/alex/three.txt", "/home/alex/two.txt"}), 1000);
    a.window.open("/home/alex/four.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.window.tags().front(), "/home/alex/four.txt", 1000);
    QVERIFY(a.window.messages.errors.empty() && b.window.messages.errors.empty());
}

QTEST_MAIN(Form1LiveTest)
#include "form1livetest.moc"
