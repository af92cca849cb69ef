#include "tests/support/testwindow.h"
#include "window/dialogmessagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void messageBoxHasOneOkButtonAndNoIcon_data();
    void messageBoxHasOneOkButtonAndNoIcon();
    void errorBoxShowsTextAsPlainText();
};

void DialogsTest::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("hixcopy"));
}

void DialogsTest::messageBoxHasOneOkButtonAndNoIcon_data()
{
    QTest::addColumn<std::optional<std::string>>("title");
    QTest::addColumn<QString>("shownTitle");
    QTest::newRow("own title") << std::optional<std::string>("HIX Demo - A. Veskin")
                               << "HIX Demo - A. Veskin";
    QTest::newRow("application's title") << std::optional<std::string>() << "hixcopy";
}

void DialogsTest::messageBoxHasOneOkButtonAndNoIcon()
{
    QFETCH(std::optional<std::string>, title);
    QFETCH(QString, shownTitle);
    QWidget parent;
    QMessageBox* seen = nullptr;
    QString seenTitle;
    QMessageBox::Icon seenIcon{};
    qsizetype buttons = 0;
    whenModal([&](QWidget* modal) {
        seen = qobject_cast<QMessageBox*>(modal);
        seenTitle = modal->windowTitle();
        seenIcon = seen ? seen->icon() : QMessageBox::Critical;
        buttons = seen ? seen->buttons().size() : 0;
        modal->close();
    });

    DialogMessageBox(&parent).show("Welcome", title);

    QVERIFY(seen);
    QCOMPARE(seenTitle, shownTitle);
    QCOMPARE(seenIcon, QMessageBox::NoIcon);
    QCOMPARE(buttons, 1);
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

    DialogMessageBox(nullptr).showError("Could not save <b>/tmp/x.conf</b>");

    QCOMPARE(text, QStringLiteral("Could not save <b>/tmp/x.conf</b>"));
    QCOMPARE(format, Qt::PlainText);
}

QTEST_MAIN(DialogsTest)
#include "dialogstest.moc"
