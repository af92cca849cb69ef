#include "fakes.h"
#include "form1.h"
#include "usersettingsstore.h"

#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

using Paths = QStringList;

class Form1HandlersTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstRunWelcomesBeforeTheWindowShows();
    void openButtonAndMenuRecordTheChosenPath_data();
    void openButtonAndMenuRecordTheChosenPath();
    void cancelledDialogOpensNothing();
    void choosingAnEntryPromotesIt();
    void choosingEntryOneChangesNoOrder();
    void choosingAnEntryWithoutPathChangesNothing();
    void submitAppliesTheMaximum();
    void nonNumericMaximumIsCorrected();
    void inertItemsChangeNothing_data();
    void inertItemsChangeNothing();
    void editShortcutsNeverReachTheTextBoxes_data();
    void editShortcutsNeverReachTheTextBoxes();
    void typedLogTextStays();
    void entryShowsItsFullPathAsPlainToolTip();
    void hostileNamesStayLiteral_data();
    void hostileNamesStayLiteral();
    void errorInHandlerIsReportedAndProgramGoesOn();
    void failedSaveIsReported();
    void exitClosesWithoutWriting();
    void restartShowsTheStoredList();
    void refreshWaitsUntilTheActionEnds();

private:
    void show();
    void open(const QString& path);
    QAction* action(const char* name) const;
    QAction* entry(int index) const;
    Paths entryTags() const;
    Paths storedPaths() const;
    QString log() const;

    QTemporaryDir configHome;
    FakeStore store;
    FakeMessageBox messages;
    ScriptedFileDialog dialog;
    std::unique_ptr<Form1> form;
};

void Form1HandlersTest::initTestCase()
{
    QVERIFY(configHome.isValid());
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
}

void Form1HandlersTest::init()
{
    store = {};
    messages = {};
    dialog = {};
    form = std::make_unique<Form1>(store, &messages, &dialog);
}

void Form1HandlersTest::cleanup()
{
    form.reset();
}

void Form1HandlersTest::show()
{
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
}

void Form1HandlersTest::open(const QString& path)
{
    dialog.answers.push_back(path.toStdString());
    QTest::mouseClick(form->findChild<QPushButton*>("Command1"), Qt::LeftButton);
}

QAction* Form1HandlersTest::action(const char* name) const
{
    return form->findChild<QAction*>(QLatin1String(name));
}

QAction* Form1HandlersTest::entry(int index) const
{
    const QList<QAction*> entries = form->findChildren<QAction*>("mnuHIX");
    const auto found
        = std::ranges::find_if(entries, [index](QAction* a) { return a->data().toInt() == index; });
    return found == entries.end() ? nullptr : *found;
}

Paths Form1HandlersTest::entryTags() const
{
    Paths tags;
    MenuEntryArray& entries = form->mnuHIX();
    for (std::int16_t index = 1; index <= entries.count(); ++index)
        tags << QString::fromStdString(entries.tag(index));
    return tags;
}

Paths Form1HandlersTest::storedPaths() const
{
    Paths paths;
    for (int position = 1; auto path = store.path(position); ++position)
        paths << QString::fromStdString(*path);
    return paths;
}

QString Form1HandlersTest::log() const
{
    return form->findChild<QPlainTextEdit*>("Text1")->toPlainText();
}

void Form1HandlersTest::firstRunWelcomesBeforeTheWindowShows()
{
    bool visibleDuringWelcome = true;
    messages.onShow = [&] { visibleDuringWelcome = form->isVisible(); };

    show();

    QCOMPARE(messages.shown.size(), size_t(1));
    QCOMPARE(messages.shown[0].prompt, std::string("Welcome to Aldo Veskin's HIX Demo"));
    QVERIFY(!visibleDuringWelcome);
    QCOMPARE(form->findChild<QLineEdit*>("maxHixTxt")->text(), QStringLiteral("3"));
    QCOMPARE(store.flushes, 1);
}

void Form1HandlersTest::openButtonAndMenuRecordTheChosenPath_data()
{
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("Open button") << false;
    QTest::newRow("File, Open") << true;
}

void Form1HandlersTest::openButtonAndMenuRecordTheChosenPath()
{
    QFETCH(bool, fromMenu);
    show();
    const int flushesBefore = store.flushes;
    dialog.answers.push_back("/home/alex/a.txt");

    if (fromMenu)
        action("mnuOpen")->trigger();
    else
        QTest::mouseClick(form->findChild<QPushButton*>("Command1"), Qt::LeftButton);

    QCOMPARE(dialog.opened, 1);
    QCOMPARE(entryTags(), Paths{"/home/alex/a.txt"});
    QVERIFY(entry(1)->isVisible());
    QVERIFY(action("mnuBar1")->isVisible());
    QCOMPARE(entry(1)->text(), QStringLiteral("&1   /home/alex/a.txt"));
    QCOMPARE(log(), QStringLiteral("/home/alex/a.txt\n"));
    QCOMPARE(storedPaths(), (Paths{"/home/alex/a.txt", "", ""}));
    QCOMPARE(store.flushes, flushesBefore + 1);
}

void Form1HandlersTest::cancelledDialogOpensNothing()
{
    store.setPaths({"/a"});
    store.values[{"Config", "noHIX"}] = "1";
    show();
    dialog.answers.push_back(std::nullopt);

    QTest::mouseClick(form->findChild<QPushButton*>("Command1"), Qt::LeftButton);

    QCOMPARE(dialog.opened, 1);
    QCOMPARE(log(), QString());
    QCOMPARE(entryTags(), Paths{"/a"});
    QCOMPARE(storedPaths(), Paths{"/a"});
}

void Form1HandlersTest::choosingAnEntryPromotesIt()
{
    show();
    for (const char* path : {"/a", "/b", "/c"})
        open(path);

    entry(3)->trigger();

    QCOMPARE(entryTags(), (Paths{"/a", "/c", "/b"}));
    QCOMPARE(storedPaths(), (Paths{"/a", "/c", "/b"}));
    QVERIFY(log().endsWith("/c\n/a\n"));
    QCOMPARE(dialog.opened, 3);
}

void Form1HandlersTest::choosingEntryOneChangesNoOrder()
{
    show();
    open("/a");
    open("/b");

    entry(1)->trigger();

    QCOMPARE(entryTags(), (Paths{"/b", "/a"}));
    QVERIFY(log().endsWith("/b\n/b\n"));
}

void Form1HandlersTest::choosingAnEntryWithoutPathChangesNothing()
{
    store.setPaths({"/a", "/b"});
    store.values[{"Config", "noHIX"}] = "3";
    show();

    entry(3)->trigger();

    QCOMPARE(entryTags(), (Paths{"/a", "/b", ""}));
    QCOMPARE(storedPaths(), (Paths{"/a", "/b"}));
    QCOMPARE(log(), QString());
}

void Form1HandlersTest::submitAppliesTheMaximum()
{
    show();
    for (const char* path : {"/a", "/b", "/c"})
        open(path);
    auto* maximum = form->findChild<QLineEdit*>("maxHixTxt");
    maximum->setText("2");

    QTest::mouseClick(form->findChild<QPushButton*>("Command2"), Qt::LeftButton);

    QCOMPARE(entryTags(), (Paths{"/c", "/b"}));
    QCOMPARE(storedPaths(), (Paths{"/c", "/b"}));
    QCOMPARE(store.value("Config", "MAX_FILES"), "2");
}

void Form1HandlersTest::nonNumericMaximumIsCorrected()
{
    show();
    auto* maximum = form->findChild<QLineEdit*>("maxHixTxt");
    maximum->clear();
    QTest::keyClicks(maximum, "many");

    QTest::mouseClick(form->findChild<QPushButton*>("Command2"), Qt::LeftButton);

    QCOMPARE(
        messages.shown.back(), (ShownMessage{"Please input a number in future, ok", std::nullopt}));
    QCOMPARE(maximum->text(), QStringLiteral("4"));
}

void Form1HandlersTest::inertItemsChangeNothing_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"mnuNew", "mnuSave", "mnuSaveAs", "mnuCut", "mnuCopy", "mnuPaste",
             "mnuFind", "mnuOptions"})
        QTest::newRow(name) << name;
}

void Form1HandlersTest::inertItemsChangeNothing()
{
    QFETCH(QString, name);
    show();
    open("/a");
    const auto before = store.values;
    const int writes = store.writes;

    action(name.toLatin1())->trigger();

    QCOMPARE(store.values, before);
    QCOMPARE(store.writes, writes);
    QCOMPARE(entryTags(), Paths{"/a"});
    QCOMPARE(log(), QStringLiteral("/a\n"));
    QCOMPARE(dialog.opened, 1);
}

void Form1HandlersTest::editShortcutsNeverReachTheTextBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("key");
    for (const char* box : {"Text1", "maxHixTxt"}) {
        QTest::addRow("Ctrl+X in %s", box) << box << "mnuCut" << int(Qt::Key_X);
        QTest::addRow("Ctrl+C in %s", box) << box << "mnuCopy" << int(Qt::Key_C);
        QTest::addRow("Ctrl+V in %s", box) << box << "mnuPaste" << int(Qt::Key_V);
        QTest::addRow("Ctrl+F in %s", box) << box << "mnuFind" << int(Qt::Key_F);
    }
}

void Form1HandlersTest::editShortcutsNeverReachTheTextBoxes()
{
    QFETCH(QString, box);
    QFETCH(QString, item);
    QFETCH(int, key);
    show();
    QWidget* target = form->findChild<QWidget*>(box);
    target->setFocus();
    QApplication::clipboard()->setText(QStringLiteral("from the clipboard"));
    QTest::keyClicks(target, "12");
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    const QString before = target->property(box == "Text1" ? "plainText" : "text").toString();
    QSignalSpy triggered(action(item.toLatin1()), &QAction::triggered);

    QTest::keyClick(target, Qt::Key(key), Qt::ControlModifier);

    QCOMPARE(triggered.size(), 1);
    QCOMPARE(target->property(box == "Text1" ? "plainText" : "text").toString(), before);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("from the clipboard"));
}

void Form1HandlersTest::typedLogTextStays()
{
    show();
    auto* logBox = form->findChild<QPlainTextEdit*>("Text1");
    QTest::keyClicks(logBox, "my note");

    open("/a");
    open("/b");

    QCOMPARE(log(), QStringLiteral("my note/a\n/b\n"));
}

void Form1HandlersTest::entryShowsItsFullPathAsPlainToolTip()
{
    show();
    const QString path
        = QStringLiteral("/home/alex/<b>not bold</b>/a very long folder name/R&D notes.txt");
    open(path);

    QVERIFY(form->findChild<QMenu*>("mnuFile")->toolTipsVisible());
    const QString toolTip = entry(1)->toolTip();
    QVERIFY(toolTip.contains(path.toHtmlEscaped()));
    QVERIFY(!toolTip.contains("<b>"));
    QCOMPARE(entry(1)->text(), QStringLiteral("&1   .../R&&D notes.txt"));
}

void Form1HandlersTest::hostileNamesStayLiteral_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("bold") << QStringLiteral("/tmp/<b>x</b>.txt");
    QTest::newRow("image") << QStringLiteral("/tmp/<img src=x>");
    QTest::newRow("tab") << QStringLiteral("/tmp/a\tb.txt");
    QTest::newRow("newline") << QStringLiteral("/tmp/a\nb.txt");
    QTest::newRow("right-to-left override") << QStringLiteral("/tmp/bill\u202Efdp.exe");
    QTest::newRow("4096 characters") << QStringLiteral("/") + QString(4095, u'n');
}

void Form1HandlersTest::hostileNamesStayLiteral()
{
    QFETCH(QString, path);
    show();

    open(path);

    QCOMPARE(storedPaths().constFirst(), path);
    QVERIFY(log().contains(path));
    QVERIFY(entry(1)->toolTip().contains(path.toHtmlEscaped()));
    // Nothing in the caption can break the menu item or reorder what follows it.
    const QString caption = entry(1)->text();
    QVERIFY(std::none_of(caption.begin(), caption.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
    }));
}

void Form1HandlersTest::errorInHandlerIsReportedAndProgramGoesOn()
{
    show();
    store.readError = "the store is unreadable";
    dialog.answers.push_back("/a");

    QTest::mouseClick(form->findChild<QPushButton*>("Command1"), Qt::LeftButton);

    QCOMPARE(messages.errors.size(), size_t(1));
    QVERIFY(messages.errors[0].starts_with("Opening a file failed."));
    QVERIFY(messages.errors[0].ends_with("the store is unreadable"));

    store.readError.clear();
    open("/b");
    QCOMPARE(entryTags().front(), QStringLiteral("/b"));
    QCOMPARE(messages.errors.size(), size_t(1));
}

void Form1HandlersTest::failedSaveIsReported()
{
    show();
    store.flushError = "Could not save the settings to /x/hix.conf";

    open("/a");

    QCOMPARE(messages.errors.size(), size_t(1));
    QVERIFY(messages.errors[0].ends_with("Could not save the settings to /x/hix.conf"));
    QCOMPARE(entryTags(), Paths{"/a"});
}

void Form1HandlersTest::exitClosesWithoutWriting()
{
    show();
    open("/a");
    const int writes = store.writes;

    action("mnuExit")->trigger();

    QVERIFY(!form->isVisible());
    QCOMPARE(store.writes, writes);
}

void Form1HandlersTest::restartShowsTheStoredList()
{
    const QString name = QStringLiteral("restart");
    {
        UserSettingsStore settings(name);
        Form1 first(settings, &messages, &dialog);
        first.show();
        dialog.answers = {"/home/alex/a.txt", "/home/alex/b.txt"};
        first.findChild<QPushButton*>("Command1")->click();
        first.findChild<QPushButton*>("Command1")->click();
        first.close();
    }
    messages = {};

    UserSettingsStore settings(name);
    Form1 second(settings, &messages, &dialog);
    second.show();

    QVERIFY(messages.shown.empty());
    const QList<QAction*> entries = second.findChildren<QAction*>("mnuHIX");
    QCOMPARE(entries.size(), 2);
    QCOMPARE(second.mnuHIX().tag(1), std::string("/home/alex/b.txt"));
    QCOMPARE(second.mnuHIX().tag(2), std::string("/home/alex/a.txt"));
    QVERIFY(entries[0]->isVisible() && entries[1]->isVisible());
}

void Form1HandlersTest::refreshWaitsUntilTheActionEnds()
{
    show();
    open("/a");
    store.outside = store.values;
    (*store.outside)[{"Recent Files", "1"}] = "/other";
    Paths duringPrompt;
    messages.onShow = [&] {
        form->refreshList();
        duringPrompt = entryTags();
    };
    form->findChild<QLineEdit*>("maxHixTxt")->setText("many");

    QTest::mouseClick(form->findChild<QPushButton*>("Command2"), Qt::LeftButton);

    QCOMPARE(duringPrompt, Paths{"/a"});
    QCOMPARE(entryTags(), Paths{"/other"});
    QVERIFY(!store.locked);
}

QTEST_MAIN(Form1HandlersTest)
#include "form1handlerstest.moc"
