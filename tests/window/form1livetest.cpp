#include "fakes.h"
#include "form1.h"
#include "settingswatcher.h"
#include "usersettingsstore.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// One running copy of the program: its own store over the shared file, its window and its watch.
struct Copy {
    void open(const std::string& path)
    {
        dialog.answers.push_back(path);
        form.findChild<QPushButton*>("Command1")->click();
    }

    void submitMaximum(const QString& text)
    {
        maximumBox()->setText(text);
        form.findChild<QPushButton*>("Command2")->click();
    }

    QLineEdit* maximumBox() { return form.findChild<QLineEdit*>("maxHixTxt"); }

    std::vector<std::string> tags()
    {
        std::vector<std::string> result;
        for (std::int16_t i = 1; i <= form.mnuHIX().count(); ++i)
            result.push_back(form.mnuHIX().tag(i));
        return result;
    }

    explicit Copy(const QString& name = QStringLiteral("live"))
        : store(name)
    {
        QObject::connect(&watcher, &SettingsWatcher::changed, &form, &Form1::refreshList);
        form.show();
    }

    UserSettingsStore store;
    FakeMessageBox messages;
    ScriptedFileDialog dialog;
    Form1 form{store, &messages, &dialog};
    SettingsWatcher watcher{store.fileName()};
};

using Tags = std::vector<std::string>;

} // namespace

class Form1LiveTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void anotherCopysChangesShowWithinASecond();
    void changesShowAfterTheSettingsHomeIsRemoved_data();
    void changesShowAfterTheSettingsHomeIsRemoved();

private:
    QTemporaryDir root;
};

void Form1LiveTest::initTestCase()
{
    QVERIFY(root.isValid());
    qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("home/.config")).toLocal8Bit());
}

void Form1LiveTest::anotherCopysChangesShowWithinASecond()
{
    Copy a;
    Copy b;

    a.open("/home/alex/one.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.tags(), Tags{"/home/alex/one.txt"}, 1000);

    a.open("/home/alex/two.txt");
    a.open("/home/alex/three.txt");
    a.submitMaximum(QStringLiteral("2"));
    QTRY_COMPARE_WITH_TIMEOUT(b.tags(), (Tags{"/home/alex/three.txt", "/home/alex/two.txt"}), 1000);
    QCOMPARE(b.maximumBox()->text(), QStringLiteral("2"));

    QSaveFile byHand(a.store.fileName());
    QVERIFY(byHand.open(QIODevice::WriteOnly));
    byHand.write("[Config]\nMAX_FILES=2\nnoHIX=1\n\n[Recent%20Files]\n1=/by/hand.txt\n");
    QVERIFY(byHand.commit());
    QTRY_COMPARE_WITH_TIMEOUT(b.tags(), Tags{"/by/hand.txt"}, 1000);

    b.maximumBox()->setText(QStringLiteral("1"));
    a.open("/home/alex/four.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.tags(), (Tags{"/home/alex/four.txt", "/by/hand.txt"}), 1000);
    QCOMPARE(b.maximumBox()->text(), QStringLiteral("1"));

    QVERIFY(a.messages.errors.empty() && b.messages.errors.empty());
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
    a.open("/home/alex/one.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.tags(), Tags{"/home/alex/one.txt"}, 1000);

    QVERIFY(QDir(root.filePath(removed)).removeRecursively());
    QTRY_COMPARE_WITH_TIMEOUT(b.tags(), Tags{""}, 1000);
    a.open("/home/alex/two.txt");
    a.open("/home/alex/three.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.tags(), (Tags{"/home/alex/three.txt", "/home/alex/two.txt"}), 1000);
    a.open("/home/alex/four.txt");
    QTRY_COMPARE_WITH_TIMEOUT(b.tags().front(), "/home/alex/four.txt", 1000);
    QVERIFY(a.messages.errors.empty() && b.messages.errors.empty());
}

QTEST_MAIN(Form1LiveTest)
#include "form1livetest.moc"
