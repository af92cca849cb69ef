// The yardstick for start-up: a window with the program's menus and controls and nothing else.
//   bare_window [--credit-face]
// With --credit-face, the credit line has the program's bold italic face, to tell what that face
// costs from what the program's own work does.
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QMainWindow window(nullptr,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window.setWindowTitle(QStringLiteral("Bare window"));

    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    for (const char* item : {"&New", "&Open", "Sa&ve", "Save &As"})
        file->addAction(QString::fromLatin1(item));
    file->addSeparator()->setVisible(false);
    file->addAction(QString())->setVisible(false);
    file->addSeparator();
    file->addAction(QStringLiteral("E&xit"));
    QMenu* edit = window.menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(QStringLiteral("Cu&t"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    edit->addAction(QStringLiteral("C&opy"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    edit->addAction(QStringLiteral("Paste"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    edit->addSeparator();
    edit->addAction(QStringLiteral("Find"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    window.menuBar()->addMenu(QStringLiteral("&Tools"))->addAction(QStringLiteral("&Options..."));

    auto* client = new QWidget(&window);
    client->setFixedSize(354, 321);
    window.setCentralWidget(client);
    (new QPushButton(QStringLiteral("Open"), client))->setGeometry(64, 56, 81, 33);
    auto* log = new QPlainTextEdit(client);
    log->setGeometry(16, 104, 321, 177);
    log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* credit = new QLabel(QStringLiteral("HIX Demo by Aldo Veskin"), client);
    credit->setGeometry(33, 296, 289, 17);
    if (QApplication::arguments().contains(QStringLiteral("--credit-face"))) {
        QFont face;
        face.setFamily(QFontInfo(face).family());
        face.setPointSizeF(9.75);
        face.setBold(true);
        face.setItalic(true);
        credit->setFont(face);
    }
    (new QLabel(QStringLiteral("Maximum Number of Recently Used Files"), client))
        ->setGeometry(49, 17, 193, 17);
    (new QPushButton(QStringLiteral("Submit New Max HIX"), client))->setGeometry(192, 56, 105, 33);
    (new QLineEdit(QStringLiteral("4"), client))->setGeometry(264, 16, 41, 19);
    window.show();
    return QApplication::exec();
}
