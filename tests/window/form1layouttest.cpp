#include "tests/support/testwindow.h"

#include <QAction>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

class Form1LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowHasFixedDialogFrame();
    void controlsStandWhereTheyBelong_data();
    void controlsStandWhereTheyBelong();
    void tabOrderSkipsLabels();
    void menuTreeIsComplete();
    void logBoxScrollsInsteadOfWrapping();
    void creditLabelIsBlueOnLightYellow();
    void boxesCanBeToldApart();

private:
    template<typename T>
    T* child(const char* name) const
    {
        T* found = window->form.findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no %s named %s", T::staticMetaObject.className(), name);
        return found;
    }

    FakeStore store;
    std::unique_ptr<TestWindow> window;
    Form1* form = nullptr;
};

void Form1LayoutTest::init()
{
    store = {};
    window = std::make_unique<TestWindow>(store);
    form = &window->form;
}

void Form1LayoutTest::cleanup()
{
    window.reset();
}

void Form1LayoutTest::windowHasFixedDialogFrame()
{
    QCOMPARE(form->objectName(), QStringLiteral("Form1"));
    QCOMPARE(form->windowTitle(), QStringLiteral("HIX Demo - Aldo Veskin"));
    const Qt::WindowFlags flags = form->windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QCOMPARE(form->centralWidget()->geometry().size(), QSize(354, 321));
    QCOMPARE(form->centralWidget()->y(), form->menuBar()->height());
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(!form->findChild<QStatusBar*>());
}

void Form1LayoutTest::controlsStandWhereTheyBelong_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("pixels");

    QTest::newRow("Command1") << "Command1"
                              << "QPushButton"
                              << "Open" << QRect(64, 56, 81, 33);
    QTest::newRow("Text1") << "Text1"
                           << "QPlainTextEdit"
                           << "" << QRect(16, 104, 321, 177);
    QTest::newRow("Label2") << "Label2"
                            << "QLabel"
                            << "HIX Demo by Aldo Veskin" << QRect(33, 296, 289, 17);
    QTest::newRow("Label1") << "Label1"
                            << "QLabel"
                            << "Maximum Number of Recently Used Files" << QRect(49, 17, 193, 17);
    QTest::newRow("Command2") << "Command2"
                              << "QPushButton"
                              << "Submit New Max HIX" << QRect(192, 56, 105, 33);
    QTest::newRow("maxHixTxt") << "maxHixTxt"
                               << "QLineEdit"
                               << "4" << QRect(264, 16, 41, 19);
}

void Form1LayoutTest::controlsStandWhereTheyBelong()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(QRect, pixels);

    QWidget* control = form->findChild<QWidget*>(name);
    QVERIFY(control);
    QVERIFY(control->inherits(className.toLatin1()));
    QCOMPARE(control->geometry(), pixels);
    QVERIFY(control->isVisibleTo(form));
    QVERIFY(control->isEnabled());
    const QString shown
        = control->property(control->inherits("QPlainTextEdit") ? "plainText" : "text").toString();
    QCOMPARE(shown, text);
    QVERIFY2(control->sizeHint().width() <= control->width() || control->inherits("QPlainTextEdit")
            || control->inherits("QLineEdit"),
        "the caption is clipped");
}

void Form1LayoutTest::tabOrderSkipsLabels()
{
    const QList<QWidget*> expected{child<QPushButton>("Command1"), child<QPlainTextEdit>("Text1"),
        child<QPushButton>("Command2"), child<QLineEdit>("maxHixTxt")};
    for (qsizetype i = 0; i + 1 < expected.size(); ++i) {
        QWidget* next = expected[i]->nextInFocusChain();
        while (next->focusPolicy() == Qt::NoFocus)
            next = next->nextInFocusChain();
        QCOMPARE(next, expected[i + 1]);
    }
    QCOMPARE(child<QLabel>("Label1")->focusPolicy(), Qt::NoFocus);
    QCOMPARE(child<QLabel>("Label2")->focusPolicy(), Qt::NoFocus);
    QVERIFY(child<QPlainTextEdit>("Text1")->tabChangesFocus());

    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form));
    QCOMPARE(QApplication::focusWidget(), expected.front());
}

void Form1LayoutTest::menuTreeIsComplete()
{
    struct Item {
        QString name;
        QString caption;
        bool visible;
        QKeySequence shortcut;
    };
    const QList<std::pair<QString, QList<Item>>> expected{
        {"mnuFile",
            {{"mnuNew", "&New", true, {}}, {"mnuOpen", "&Open", true, {}},
                {"mnuSave", "Sa&ve", true, {}}, {"mnuSaveAs", "Save &As", true, {}},
                {"mnuBar1", "", false, {}}, {"mnuHIX", "", false, {}}, {"mnuBar2", "", true, {}},
                {"mnuExit", "E&xit", true, {}}}},
        {"mnuEdit",
            {{"mnuCut", "Cu&t", true, QKeySequence("Ctrl+X")},
                {"mnuCopy", "C&opy", true, QKeySequence("Ctrl+C")},
                {"mnuPaste", "Paste", true, QKeySequence("Ctrl+V")}, {"mnuBreak2", "", true, {}},
                {"mnuFind", "Find", true, QKeySequence("Ctrl+F")}}},
        {"mnuTools", {{"mnuOptions", "&Options...", true, {}}}},
    };
    const QStringList captions{"&File", "&Edit", "&Tools"};

    const QList<QAction*> bar = form->menuBar()->actions();
    QCOMPARE(bar.size(), expected.size());
    for (qsizetype m = 0; m < bar.size(); ++m) {
        QMenu* menu = bar[m]->menu();
        QVERIFY(menu);
        QCOMPARE(menu->objectName(), expected[m].first);
        QCOMPARE(menu->title(), captions[m]);
        const QList<QAction*> items = menu->actions();
        QCOMPARE(items.size(), expected[m].second.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            const Item& item = expected[m].second[i];
            QCOMPARE(items[i]->objectName(), item.name);
            QCOMPARE(items[i]->isSeparator(), item.name.startsWith("mnuB"));
            if (!items[i]->isSeparator())
                QCOMPARE(items[i]->text(), item.caption);
            QCOMPARE(items[i]->isVisible(), item.visible);
            QCOMPARE(items[i]->shortcut(), item.shortcut);
        }
    }
    QCOMPARE(form->findChild<QAction*>("mnuHIX")->data().toInt(), 1);
}

void Form1LayoutTest::logBoxScrollsInsteadOfWrapping()
{
    auto* log = child<QPlainTextEdit>("Text1");
    QCOMPARE(log->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(log->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(!log->isReadOnly());
}

void Form1LayoutTest::creditLabelIsBlueOnLightYellow()
{
    auto* credit = child<QLabel>("Label2");
    QCOMPARE(credit->alignment(), Qt::AlignCenter);
    QVERIFY(credit->font().bold());
    QVERIFY(credit->font().italic());
    QVERIFY(credit->autoFillBackground());
    QCOMPARE(credit->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(credit->palette().color(QPalette::Window), QColor(255, 255, 192));

    // Asking for a family that is not installed costs a search through every font at start-up,
    // and desktops often name a generic family such as "Sans Serif".
    const QFont desktopFont = QApplication::font();
    QApplication::setFont(QFont(QStringLiteral("Sans Serif")));
    const TestWindow onGenericDesktop(store);
    QApplication::setFont(desktopFont);
    const QFont asked = onGenericDesktop.form.findChild<QLabel*>("Label2")->font();
    QCOMPARE(QFontInfo(asked).family(), asked.family());
}

void Form1LayoutTest::boxesCanBeToldApart()
{
    QCOMPARE(child<QLabel>("Label1")->buddy(), child<QLineEdit>("maxHixTxt"));
    QVERIFY(!child<QPlainTextEdit>("Text1")->accessibleName().isEmpty());
}

QTEST_MAIN(Form1LayoutTest)
#include "form1layouttest.moc"
