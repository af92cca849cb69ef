#include "tests/support/testwindow.h"
#include "window/desktopintegration.h"
#include "window/dialogmessagebox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void boxesSayWhatKindTheyAre_data();
    void boxesSayWhatKindTheyAre();
    void errorBoxShowsTextAsPlainText();
    void qtsOwnWordsAreInTheUsersLanguage();
};

void DialogsTest::boxesSayWhatKindTheyAre_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("windowShown");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::newRow("welcome, before the window shows")
        << "welcome" << false << "HIX Demo - A. Veskin" << QMessageBox::NoIcon;
    QTest::newRow("prompt") << "prompt" << true << "HIX Demo" << QMessageBox::NoIcon;
    QTest::newRow("failure") << "failure" << true << "HIX Demo" << QMessageBox::Warning;
    QTest::newRow("notice") << "notice" << true << "HIX Demo" << QMessageBox::Information;
    QTest::newRow("notice, before the window shows")
        << "notice" << false << "HIX Demo" << QMessageBox::Information;
}

// Each box has one OK button, the program's name for a title unless it has its own, the icon of
// its kind, and stands over the middle of the window, or of the screen while the window is not
// shown yet.
void DialogsTest::boxesSayWhatKindTheyAre()
{
    QFETCH(QString, kind);
    QFETCH(bool, windowShown);
    QFETCH(QString, title);
    QFETCH(QMessageBox::Icon, icon);
    QWidget window;
    window.setGeometry(40, 40, 400, 300);
    if (windowShown) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QString seenTitle;
    QMessageBox::Icon seenIcon{};
    qsizetype buttons = 0;
    QPoint middle;
    whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        seenTitle = modal->windowTitle();
        seenIcon = box ? box->icon() : QMessageBox::Critical;
        buttons = box ? box->buttons().size() : 0;
        middle = modal->frameGeometry().center();
        modal->close();
    });

    DialogMessageBox boxes(&window, QStringLiteral("HIX Demo"));
    if (kind == "welcome")
        boxes.show("Welcome", "HIX Demo - A. Veskin");
    else if (kind == "prompt")
        boxes.show("Please input a number in future, ok", std::nullopt);
    else if (kind == "failure")
        boxes.showError("The list of recent files could not be saved.");
    else
        boxes.showNotice("The settings file was kept aside.");

    QCOMPARE(seenTitle, title);
    QCOMPARE(seenIcon, icon);
    QCOMPARE(buttons, 1);
    const QPoint over = windowShown
        ? window.frameGeometry().center()
        : QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY2((middle - over).manhattanLength() <= 40,
        qPrintable(QStringLiteral("(%1, %2) is not over (%3, %4)")
                       .arg(middle.x())
                       .arg(middle.y())
                       .arg(over.x())
                       .arg(over.y())));
}

void DialogsTest::errorBoxShowsTextAsPlainText()
{
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        text = box->text();
        format = box->textFormat();
        box->button(QMessageBox::Ok)->click();
    });

    DialogMessageBox(nullptr, QStringLiteral("HIX Demo")).showError("Could not save <b>/x</b>");

    QCOMPARE(text, QStringLiteral("Could not save <b>/x</b>"));
    QCOMPARE(format, Qt::PlainText);
}

// Qt's translations give its file dialog's buttons the user's language.
void DialogsTest::qtsOwnWordsAreInTheUsersLanguage()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    translateQtsOwnWords();
    QFileDialog dialog(nullptr);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const QPushButton* open = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
    QLocale::setDefault(QLocale::c());
    if (QLibraryInfo::path(QLibraryInfo::TranslationsPath).isEmpty()
        || !QFile::exists(
            QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_de.qm")))
        QSKIP("Qt's translations are not installed (qt6-translations-l10n)");
    QCOMPARE(open->text(), QStringLiteral("&Öffnen"));
}

QTEST_MAIN(DialogsTest)
#include "dialogstest.moc"
