#include "tests/support/testwindow.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

// The window on a 1366 by 768 screen (the test's platform is configured so), at the edges of
// what a desktop may ask of it: a large font, a right-to-left language, a dark colour scheme.
class Form1ScreenTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void windowFitsTheScreenAtAnyFont_data();
    void windowFitsTheScreenAtAnyFont();
    void fileMenuIsOneColumnWithinTheScreen();
    void openFileMenuStaysAsItIs_data();
    void openFileMenuStaysAsItIs();
    void pathsReadLeftToRightInEveryLanguage_data();
    void pathsReadLeftToRightInEveryLanguage();
    void focusShowsFromTheStart();
    void framesShowInADarkScheme();
    void framesAreWholeAtAnyScale();

private:
    // The window, built at the desktop font of points.
    TestWindow& windowAt(qreal points);
    // The File menu opened at 20 points with twenty entries, the last opened path first; null
    // where it did not show.
    QMenu* fileMenuOfTwenty(const std::string& lastOpened);

    FakeStore store;
    std::unique_ptr<TestWindow> window;
};

// The desktop's font, as its platform theme hands it to the application, for the whole test.
TestWindow& Form1ScreenTest::windowAt(qreal points)
{
    QFont desktop(QStringLiteral("DejaVu Sans"));
    desktop.setPointSizeF(points);
    QApplication::setFont(desktop);
    window = std::make_unique<TestWindow>(store);
    return *window;
}

QMenu* Form1ScreenTest::fileMenuOfTwenty(const std::string& lastOpened)
{
    TestWindow& shown = windowAt(20);
    shown.form.show();
    if (!QTest::qWaitForWindowExposed(&shown.form))
        return nullptr;
    shown.submitMaximum(QStringLiteral("20"));
    for (int i = 0; i < 19; ++i)
        shown.open("/home/alex/Documents/projects/" + std::to_string(i) + "/minutes.txt");
    shown.open(lastOpened);
    auto* file = shown.form.findChild<QMenu*>("mnuFile");
    file->popup(QPoint(0, 0));
    return QTest::qWaitForWindowExposed(file) ? file : nullptr;
}

void Form1ScreenTest::cleanup()
{
    window.reset();
    store = {};
    QApplication::setFont(QFont());
    QApplication::setLayoutDirection(Qt::LeftToRight);
    QApplication::setPalette(QApplication::style()->standardPalette());
}

void Form1ScreenTest::windowFitsTheScreenAtAnyFont_data()
{
    QTest::addColumn<qreal>("points");
    QTest::newRow("10 points") << 10.0;
    QTest::newRow("16 points") << 16.0;
    QTest::newRow("20 points") << 20.0;
}

// The window grows with the desktop's font up to what the screen holds, title bar included; text
// is never smaller than the desktop's, and a caption that cannot fit says the whole of it as its
// tool tip and to screen readers.
void Form1ScreenTest::windowFitsTheScreenAtAnyFont()
{
    QFETCH(qreal, points);
    Form1& form = windowAt(points).form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    const QRect available = form.screen()->availableGeometry();
    const int titleBar = form.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &form);
    QVERIFY2(available.contains(form.frameGeometry()),
        qPrintable(QStringLiteral("%1x%2").arg(form.width()).arg(form.height())));
    QVERIFY(form.height() + titleBar <= available.height());
    for (auto* control :
        form.centralWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (control->objectName() != "Label2")
            QCOMPARE(control->font().pointSizeF(), points);
        const QString text = control->property("text").toString();
        if (text.isEmpty() || control->inherits("QLineEdit") || control->objectName() == "Label2")
            continue;
        if (control->sizeHint().width() <= control->width())
            continue;
        QVERIFY2(text.endsWith(QChar(0x2026)) && !control->toolTip().isEmpty()
                && control->accessibleName() == control->toolTip()
                && control->toolTip().startsWith(text.chopped(1)),
            qPrintable(control->objectName() + " is clipped: " + text));
    }
}

// Twenty entries at a large font: the File menu stays one column within the screen and scrolls,
// and an entry too wide for the screen is cut short rather than widening the menu past it.
void Form1ScreenTest::fileMenuIsOneColumnWithinTheScreen()
{
    QMenu* file = fileMenuOfTwenty("/" + std::string(300, 'n'));
    QVERIFY(file);
    const QRect available = file->screen()->availableGeometry();
    QVERIFY2(available.contains(file->geometry()),
        qPrintable(QStringLiteral("%1,%2 %3x%4")
                       .arg(file->x())
                       .arg(file->y())
                       .arg(file->width())
                       .arg(file->height())));
    int column = -1;
    for (QAction* action : file->actions()) {
        const QRect area = file->actionGeometry(action);
        if (!action->isVisible() || area.isEmpty())
            continue;
        QVERIFY2(column < 0 || area.x() == column, qPrintable(action->text()));
        column = area.x();
    }
    file->hide();
}

void Form1ScreenTest::openFileMenuStaysAsItIs_data()
{
    QTest::addColumn<bool>("changedElsewhere");
    QTest::newRow("an entry highlighted") << false;
    QTest::newRow("another copy's list") << true;
}

// While the File menu is open and scrolls within the screen, highlighting an entry (which shows
// its tool tip) keeps it so, and another copy's list shows only once it has closed: no entry
// changes under the pointer.
void Form1ScreenTest::openFileMenuStaysAsItIs()
{
    QFETCH(bool, changedElsewhere);
    QMenu* file = fileMenuOfTwenty("/home/alex/Documents/projects/minutes.txt");
    QVERIFY(file);
    const QRect opened = file->geometry();
    QVERIFY(file->screen()->availableGeometry().contains(opened));
    auto* first = window->form.findChild<QAction*>("mnuHIX");
    const QString before = first->text();

    if (changedElsewhere) {
        auto elsewhere = store.values;
        elsewhere[{"Recent Files", "1"}] = "/srv/elsewhere/a much longer name than any before.txt";
        store.outside = elsewhere;
        window->form.refreshList();
    } else {
        file->setActiveAction(first);
    }
    QCOMPARE(file->geometry(), opened);
    QCOMPARE(first->text(), before);

    file->hide();
    QTRY_COMPARE(first->text().contains(QLatin1String("much longer")), changedElsewhere);
}

void Form1ScreenTest::pathsReadLeftToRightInEveryLanguage_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("Latin") << QStringLiteral("/srv/share/report.pdf");
    QTest::newRow("Arabic") << QStringLiteral("/srv/\u0645\u062C\u0644\u062F/report.pdf");
    QTest::newRow("long") << QStringLiteral("/srv/share/projects/2026/december/minutes.txt");
}

// In a right-to-left layout, a path in the File menu keeps its leading slash in front of the rest,
// whatever script its names are in; its tool tip reads left to right; the log shows the start of
// its lines; and what is stored and logged is byte for byte what was opened.
void Form1ScreenTest::pathsReadLeftToRightInEveryLanguage()
{
    QFETCH(QString, path);
    QApplication::setLayoutDirection(Qt::RightToLeft);
    TestWindow& shown = windowAt(10);
    shown.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shown.form));
    shown.open(path.toStdString());

    auto* file = shown.form.findChild<QMenu*>("mnuFile");
    auto* entry = shown.form.findChild<QAction*>("mnuHIX");
    const QString caption = QString(entry->text()).remove(u'&');
    QTextLayout layout(caption, file->font());
    QTextOption rightToLeft;
    rightToLeft.setTextDirection(Qt::RightToLeft);
    layout.setTextOption(rightToLeft);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const auto drawnAt = [&](qsizetype character) {
        return layout.glyphRuns(int(character), 1).constFirst().positions().constFirst().x();
    };
    const qsizetype slash = caption.indexOf(u'/');
    QVERIFY2(drawnAt(slash) < drawnAt(slash + 1), "the slash stands after what follows it");

    emit file->hovered(entry);
    QTextDocument toolTip;
    toolTip.setHtml(entry->toolTip());
    QCOMPARE(toolTip.firstBlock().blockFormat().layoutDirection(), Qt::LeftToRight);

    auto* log = shown.form.findChild<QPlainTextEdit*>("Text1");
    const QRect start = log->cursorRect(QTextCursor(log->document()));
    QVERIFY2(log->viewport()->rect().contains(start.center()), "the start of the line is hidden");
    QCOMPARE(shown.form.Text1().text(), path.toStdString() + "\r\n");
    QCOMPARE(store.path(1), path.toStdString());
}

// The keyboard's focus shows from the start, as after a Tab.
void Form1ScreenTest::focusShowsFromTheStart()
{
    TestWindow& shown = windowAt(10);
    shown.form.show();
    QVERIFY(QTest::qWaitForWindowActive(&shown.form));
    auto* open = shown.form.findChild<QPushButton*>("Command1");
    QVERIFY(open->hasFocus());
    const QImage atStart = open->grab().toImage();

    QTest::keyClick(&shown.form, Qt::Key_Tab);
    QTest::keyClick(&shown.form, Qt::Key_Backtab);
    QVERIFY(open->hasFocus());

    QCOMPARE(atStart, open->grab().toImage());
}

// In a colour scheme whose window is black, the frames of the text boxes still show.
void Form1ScreenTest::framesShowInADarkScheme()
{
    QPalette dark;
    for (const QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        dark.setColor(role, Qt::black);
    for (const QPalette::ColorRole role :
        {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(role, Qt::white);
    QApplication::setPalette(dark);
    TestWindow& shown = windowAt(10);
    shown.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shown.form));

    for (const char* name : {"maxHixTxt", "Text1"}) {
        const QImage box = shown.form.findChild<QWidget*>(name)->grab().toImage();
        int lit = 0;
        for (int y = 0; y < box.height(); ++y)
            lit += qGray(box.pixel(0, y)) > 128;
        QVERIFY2(lit > box.height() / 2, name);
    }
}

// Every edge of a text box's frame is drawn, also at a fractional scale (QT_SCALE_FACTOR=1.25, as
// the second run of this test sets), where edges would fall between device pixels.
void Form1ScreenTest::framesAreWholeAtAnyScale()
{
    TestWindow& shown = windowAt(10);
    shown.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&shown.form));

    for (const char* name : {"maxHixTxt", "Text1"}) {
        const QImage box = shown.form.findChild<QWidget*>(name)->grab().toImage();
        const auto drawn = [&](int x, int y) { return qGray(box.pixel(x, y)) < 200; };
        int right = 0;
        int bottom = 0;
        for (int y = 0; y < box.height(); ++y)
            right += drawn(box.width() - 1, y);
        for (int x = 0; x < box.width(); ++x)
            bottom += drawn(x, box.height() - 1);
        QVERIFY2(right > box.height() * 3 / 4 && bottom > box.width() * 3 / 4,
            qPrintable(QStringLiteral("%1 at a ratio of %2: right %3 of %4, bottom %5 of %6")
                           .arg(name)
                           .arg(box.devicePixelRatio())
                           .arg(right)
                           .arg(box.height())
                           .arg(bottom)
                           .arg(box.width())));
    }
}

QTEST_MAIN(Form1ScreenTest)
#include "form1screentest.moc"
