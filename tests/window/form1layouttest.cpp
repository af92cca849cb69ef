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
#include <cmath>

class Form1LayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowHasFixedDialogFrame();
    void controlsStandWhereTheyBelong_data();
    void controlsStandWhereTheyBelong();
    void textIsAtTheDesktopsSizeAndNeverClipped_data();
    void textIsAtTheDesktopsSizeAndNeverClipped();
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
    QCOMPARE(form->centralWidget()->y(), form->menuBar()->height());
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QVERIFY(!form->findChild<QStatusBar*>());
}

namespace {

// The described geometry in pixels at a scale, within the pixel that rounding gives or takes.
bool standsAt(const QRect& shown, const QRect& described, qreal scale)
{
    const QRectF wanted(QPointF(described.topLeft()) * scale, QSizeF(described.size()) * scale);
    return std::abs(shown.x() - wanted.x()) <= 1 && std::abs(shown.y() - wanted.y()) <= 1
        && std::abs(shown.width() - wanted.width()) <= 1
        && std::abs(shown.height() - wanted.height()) <= 1;
}

// What the window's client area shows of the described 354 by 321 pixels.
qreal scaleOf(const Form1& form)
{
    return form.centralWidget()->width() / 354.0;
}

} // namespace

void Form1LayoutTest::controlsStandWhereTheyBelong_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    // Where the described twips stand at a scale of 1.
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
    const qreal scale = scaleOf(*form);
    QCOMPARE(form->centralWidget()->height(), qRound(321 * scale));
    QVERIFY2(standsAt(control->geometry(), pixels, scale),
        qPrintable(QStringLiteral("at a scale of %1").arg(scale)));
    QVERIFY(control->isVisibleTo(form));
    QVERIFY(control->isEnabled());
    const QString shown
        = control->property(control->inherits("QPlainTextEdit") ? "plainText" : "text").toString();
    QCOMPARE(shown, text);
}

void Form1LayoutTest::textIsAtTheDesktopsSizeAndNeverClipped_data()
{
    QTest::addColumn<qreal>("points");
    QTest::newRow("6 points, which fit the described pixels") << 6.0;
    QTest::newRow("9 points") << 9.0;
    QTest::newRow("10 points") << 10.0;
    QTest::newRow("11 points") << 11.0;
    QTest::newRow("16 points, for a user who needs large text") << 16.0;
}

// The desktop's font, as its platform theme hands it to the application: every control shows it,
// no caption is clipped, and the layout is the described one at a single scale, 1 where the
// captions fit the described pixels.
void Form1LayoutTest::textIsAtTheDesktopsSizeAndNeverClipped()
{
    QFETCH(qreal, points);
    const QFont before = QApplication::font();
    QFont desktop(QStringLiteral("DejaVu Sans"));
    desktop.setPointSizeF(points);
    QApplication::setFont(desktop);
    const TestWindow onDesktop(store);
    QApplication::setFont(before);

    const qreal scale = scaleOf(onDesktop.form);
    QVERIFY(scale >= 1);
    if (points == 6)
        QCOMPARE(onDesktop.form.centralWidget()->size(), QSize(354, 321));
    for (const QWidget* control : onDesktop.form.centralWidget()->findChildren<QWidget*>(
             QString(), Qt::FindDirectChildrenOnly)) {
        const QString name = control->objectName();
        if (name == "Label2")
            QVERIFY(std::abs(control->font().pointSizeF() / (9.75 * scale) - 1) < 0.01);
        else
            QCOMPARE(control->font().pointSizeF(), points);
        if (control->inherits("QPlainTextEdit"))
            continue;
        const QSize wanted = control->inherits("QLineEdit")
            ? QSize(0, control->fontMetrics().height() + 2)
            : control->sizeHint();
        QVERIFY2(wanted.width() <= control->width() && wanted.height() <= control->height(),
            qPrintable(name + QStringLiteral(" is clipped at a scale of %1").arg(scale)));
    }
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
