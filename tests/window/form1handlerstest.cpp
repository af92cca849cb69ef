#include "settings/usersettingsstore.h"
#include "tests/support/hostilenames.h"
#include "tests/support/testwindow.h"
#include "window/openfiledialog.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

using Paths = std::vector<std::string>;

// Each control of the window, then what it does to the list, the store and the log. The list's own
// rules are the list's tests.
class Form1HandlersTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstRunWelcomesBeforeTheWindowShows();
    void openButtonAndMenuRecordTheChosenPath_data();
    void openButtonAndMenuRecordTheChosenPath();
    void cancelledDialogOpensNothing();
    void choosingAnEntryPromotesIt();
    void choosingAnEntryWithoutPathChangesNothing();
    void submitAppliesTheMaximum();
    void inertItemsChangeNothing_data();
    void inertItemsChangeNothing();
    void editShortcutsNeverReachTheTextBoxes_data();
    void editShortcutsNeverReachTheTextBoxes();
    void typedLogTextStays();
    void entryShowsItsFullPathAsPlainToolTip();
    void hostileNamesStayLiteral_data();
    void hostileNamesStayLiteral();
    void failuresAreReportedAndTheProgramGoesOn_data();
    void failuresAreReportedAndTheProgramGoesOn();
    void noticeOfTheStoreIsShownAfterTheAction();
    void exitClosesWithoutWriting();
    void keptChangeIsSavedByItselfOrAtExit_data();
    void keptChangeIsSavedByItselfOrAtExit();
    void restartShowsTheStoredList();
    void refreshWaitsUntilTheActionEnds();
    void fileDialogReportsChosenFileOrNothing();

private:
    void show();
    QAction* action(const char* name) const;
    QAction* entry(int index) const;
    // The tool tip the entry shows once highlighted.
    QString toolTipOf(int index) const;
    QString log() const;

    FakeStore store;
    std::unique_ptr<TestWindow> window;
};

void Form1HandlersTest::init()
{
    store = {};
    window = std::make_unique<TestWindow>(store);
}

void Form1HandlersTest::cleanup()
{
    window.reset();
}

void Form1HandlersTest::show()
{
    window->form.show();
    QVERIFY(QTest::qWaitForWindowActive(&window->form));
}

QAction* Form1HandlersTest::action(const char* name) const
{
    return window->form.findChild<QAction*>(QLatin1String(name));
}

QAction* Form1HandlersTest::entry(int index) const
{
    const QList<QAction*> entries = window->form.findChildren<QAction*>("mnuHIX");
    const auto found
        = std::ranges::find_if(entries, [index](QAction* a) { return a->data().toInt() == index; });
    return found == entries.end() ? nullptr : *found;
}

QString Form1HandlersTest::toolTipOf(int index) const
{
    emit window->form.findChild<QMenu*>("mnuFile")->hovered(entry(index));
    return entry(index)->toolTip();
}

QString Form1HandlersTest::log() const
{
    return window->form.findChild<QPlainTextEdit*>("Text1")->toPlainText();
}

void Form1HandlersTest::firstRunWelcomesBeforeTheWindowShows()
{
    bool visibleDuringWelcome = true;
    window->messages.onShow = [&] { visibleDuringWelcome = window->form.isVisible(); };

    show();

    QCOMPARE(window->messages.shown.size(), size_t(1));
    QVERIFY(!visibleDuringWelcome);
    QCOMPARE(window->maximumBox()->text(), QStringLiteral("3"));
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
    window->dialog.answers.push_back("/home/alex/a.txt");

    fromMenu ? action("mnuOpen")->trigger() : window->click("Command1");

    QCOMPARE(window->dialog.opened, 1);
    QCOMPARE(window->tags(), Paths{"/home/alex/a.txt"});
    QVERIFY(entry(1)->isVisible() && action("mnuBar1")->isVisible());
    QCOMPARE(entry(1)->text(), QStringLiteral("&1   \u2066/home/alex/a.txt\u2069"));
    QCOMPARE(log(), QStringLiteral("/home/alex/a.txt\n"));
    QCOMPARE(store.flushes, 2);
}

void Form1HandlersTest::cancelledDialogOpensNothing()
{
    store.setPaths({"/a"});
    store.values[{"Config", "noHIX"}] = "1";
    show();

    window->open(std::nullopt);

    QCOMPARE(window->dialog.opened, 1);
    QCOMPARE(log(), QString());
    QCOMPARE(window->tags(), Paths{"/a"});
    QCOMPARE(store.storedPaths(), Paths{"/a"});
}

void Form1HandlersTest::choosingAnEntryPromotesIt()
{
    show();
    for (const char* path : {"/a", "/b", "/c"})
        window->open(path);

    entry(3)->trigger();

    QCOMPARE(window->tags(), (Paths{"/a", "/c", "/b"}));
    QCOMPARE(store.storedPaths(), (Paths{"/a", "/c", "/b"}));
    QVERIFY(log().endsWith("/c\n/a\n"));
    QCOMPARE(window->dialog.opened, 3);
}

void Form1HandlersTest::choosingAnEntryWithoutPathChangesNothing()
{
    store.setPaths({"/a", "/b"});
    store.values[{"Config", "noHIX"}] = "3";
    show();

    entry(3)->trigger();

    QCOMPARE(window->tags(), (Paths{"/a", "/b", ""}));
    QCOMPARE(store.storedPaths(), (Paths{"/a", "/b"}));
    QCOMPARE(log(), QString());
}

void Form1HandlersTest::submitAppliesTheMaximum()
{
    show();
    for (const char* path : {"/a", "/b", "/c"})
        window->open(path);

    window->submitMaximum(QStringLiteral("2"));

    QCOMPARE(window->tags(), (Paths{"/c", "/b"}));
    QCOMPARE(store.storedPaths(), (Paths{"/c", "/b"}));
    QCOMPARE(store.value("Config", "MAX_FILES"), "2");
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
    window->open("/a");
    const int writes = store.writes;

    action(name.toLatin1())->trigger();

    QCOMPARE(store.writes, writes);
    QCOMPARE(window->tags(), Paths{"/a"});
    QCOMPARE(log(), QStringLiteral("/a\n"));
    QCOMPARE(window->dialog.opened, 1);
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
    QWidget* target = window->form.findChild<QWidget*>(box);
    target->setFocus();
    QApplication::clipboard()->setText(QStringLiteral("from the clipboard"));
    QTest::keyClicks(target, "12");
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    const char* property = box == "Text1" ? "plainText" : "text";
    const QString before = target->property(property).toString();
    QSignalSpy triggered(action(item.toLatin1()), &QAction::triggered);

    QTest::keyClick(target, Qt::Key(key), Qt::ControlModifier);

    QCOMPARE(triggered.size(), 1);
    QCOMPARE(target->property(property).toString(), before);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("from the clipboard"));
}

void Form1HandlersTest::typedLogTextStays()
{
    show();
    QTest::keyClicks(window->form.findChild<QPlainTextEdit*>("Text1"), "my note");

    window->open("/a");
    window->open("/b");

    QCOMPARE(log(), QStringLiteral("my note/a\n/b\n"));
}

void Form1HandlersTest::entryShowsItsFullPathAsPlainToolTip()
{
    show();
    const QString path
        = QStringLiteral("/home/alex/<b>not bold</b>/a very long folder name/R&D notes.txt");
    window->open(path.toStdString());

    QVERIFY(window->form.findChild<QMenu*>("mnuFile")->toolTipsVisible());
    const QString toolTip = toolTipOf(1);
    QVERIFY(toolTip.contains(path.toHtmlEscaped()));
    QVERIFY(!toolTip.contains("<b>"));
    QCOMPARE(entry(1)->text(), QStringLiteral("&1   \u2066.../R&&D notes.txt\u2069"));
}

void Form1HandlersTest::hostileNamesStayLiteral_data()
{
    QTest::addColumn<QString>("path");
    for (const auto& [name, path] : hostileNames())
        QTest::newRow(name) << path;
}

void Form1HandlersTest::hostileNamesStayLiteral()
{
    QFETCH(QString, path);
    show();

    window->open(path.toStdString());

    QCOMPARE(QString::fromStdString(store.storedPaths().front()), path);
    // The log's plain text shows a line separator or a CR LF as the line break it is.
    QVERIFY(log().contains(QString(path)
                               .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                               .replace(QChar::LineSeparator, u'\n')));
    QVERIFY(toolTipOf(1).contains(path.toHtmlEscaped()));
    // Nothing in the caption can hide, break the menu item or reorder what follows it.
    // But for the isolate the window puts around the path's text.
    QString caption = entry(1)->text();
    QVERIFY(caption.startsWith(QStringLiteral("&1   \u2066")) && caption.endsWith(u'\u2069'));
    caption = caption.mid(6).chopped(1);
    QVERIFY(std::none_of(caption.begin(), caption.end(), [](QChar c) {
        return c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c.category() == QChar::Separator_Line;
    }));
}

void Form1HandlersTest::failuresAreReportedAndTheProgramGoesOn_data()
{
    QTest::addColumn<bool>("whileSaving");
    QTest::newRow("reading") << false;
    QTest::newRow("saving") << true;
}

void Form1HandlersTest::failuresAreReportedAndTheProgramGoesOn()
{
    QFETCH(bool, whileSaving);
    show();
    (whileSaving ? store.flushError : store.readError) = "the store failed";

    window->open("/a");

    QCOMPARE(window->messages.errors,
        std::vector<std::string>{"Opening a file failed.\n\nthe store failed"});
    store.readError.clear();
    store.flushError.clear();
    window->open("/b");
    QCOMPARE(window->tags().front(), "/b");
    QCOMPARE(window->messages.errors.size(), size_t(1));
}

void Form1HandlersTest::noticeOfTheStoreIsShownAfterTheAction()
{
    show();
    const std::string failure = "The list of recent files could not be saved: /x is read-only.";
    const std::string notice = "The settings file was kept as hix.conf.unreadable-1.";
    store.notices = {{failure, true}, {notice, false}};

    window->open("/a");

    QCOMPARE(window->messages.errors, std::vector{failure});
    QCOMPARE(window->messages.notices, std::vector{notice});
    QVERIFY(store.notices.empty());
}

void Form1HandlersTest::exitClosesWithoutWriting()
{
    show();
    window->open("/a");
    const int writes = store.writes;

    action("mnuExit")->trigger();

    QVERIFY(!window->form.isVisible());
    QCOMPARE(store.writes, writes);
}

void Form1HandlersTest::keptChangeIsSavedByItselfOrAtExit_data()
{
    QTest::addColumn<bool>("atExit");
    QTest::newRow("by itself, once it can be") << false;
    QTest::newRow("at exit") << true;
}

// An open that could not be saved is kept; once the cause is gone it is saved without another
// action of the user's, and File, Exit saves it at the latest.
void Form1HandlersTest::keptChangeIsSavedByItselfOrAtExit()
{
    QFETCH(bool, atExit);
    const SettingsHome home;
    // A folder where the file belongs: nothing is written over it, by root neither.
    const QString blocked = home.settingsFile(QStringLiteral("kept"));
    QVERIFY(QDir().mkpath(blocked));
    UserSettingsStore settings(home.settingsPath(QStringLiteral("kept")));
    TestWindow kept(settings);
    kept.form.show();
    kept.open("/home/alex/a.txt");
    QCOMPARE(kept.tags(), Paths{"/home/alex/a.txt"});
    QVERIFY(QDir(blocked).removeRecursively());

    if (atExit)
        kept.form.findChild<QAction*>("mnuExit")->trigger();
    const auto saved = [&] {
        return UserSettingsStore(home.settingsPath(QStringLiteral("kept")))
            .GetSetting("Recent Files", "1", "");
    };
    if (atExit)
        QCOMPARE(saved(), "/home/alex/a.txt");
    else
        QTRY_COMPARE_WITH_TIMEOUT(saved(), "/home/alex/a.txt", 3000);
}

void Form1HandlersTest::restartShowsTheStoredList()
{
    const SettingsHome home;
    {
        UserSettingsStore settings(home.settingsPath(QStringLiteral("restart")));
        TestWindow first(settings);
        first.form.show();
        first.open("/home/alex/a.txt");
        first.open("/home/alex/b.txt");
    }
    UserSettingsStore settings(home.settingsPath(QStringLiteral("restart")));
    TestWindow second(settings);

    second.form.show();

    QVERIFY(second.messages.shown.empty());
    QCOMPARE(second.tags(), (Paths{"/home/alex/b.txt", "/home/alex/a.txt"}));
    const QList<QAction*> entries = second.form.findChildren<QAction*>("mnuHIX");
    QVERIFY(entries.size() == 2 && entries[0]->isVisible() && entries[1]->isVisible());
}

void Form1HandlersTest::refreshWaitsUntilTheActionEnds()
{
    show();
    window->open("/a");
    store.outside = store.values;
    (*store.outside)[{"Recent Files", "1"}] = "/other";
    Paths duringPrompt;
    window->messages.onShow = [&] {
        window->form.refreshList();
        duringPrompt = window->tags();
    };

    window->submitMaximum(QStringLiteral("many"));

    QCOMPARE(duringPrompt, Paths{"/a"});
    QCOMPARE(window->tags(), Paths{"/other"});
    QVERIFY(!store.locked);
}

void Form1HandlersTest::fileDialogReportsChosenFileOrNothing()
{
    QTemporaryDir folder;
    const QString chosen = folder.filePath(QStringLiteral("notes, 2008.txt"));
    QFile file(chosen);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    OpenFileDialog dialog(nullptr);

    whenModal([&](QWidget* modal) {
        auto* fileDialog = qobject_cast<QFileDialog*>(modal);
        fileDialog->setDirectory(folder.path());
        fileDialog->selectFile(chosen);
        static_cast<QDialog*>(fileDialog)->accept();
    });
    QCOMPARE(dialog.chooseFileToOpen(), std::optional(chosen.toStdString()));

    whenModal([](QWidget* modal) { qobject_cast<QFileDialog*>(modal)->reject(); });
    QCOMPARE(dialog.chooseFileToOpen(), std::nullopt);
}

QTEST_MAIN(Form1HandlersTest)
#include "form1handlerstest.moc"
