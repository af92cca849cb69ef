// The yardsticks for start-up: a window with the program's menus and controls and nothing else,
// and the least any program that shows the same list could do.
//   bare_window [--credit-face]
//   bare_window --stand-in SETTINGS_FILE
// With --credit-face, the credit line has the program's bold italic face, to tell what that face
// costs from what the program's own work does. With --stand-in, the window also grows with the
// desktop's font until each caption fits, as the program's does, and reads the settings file once
// into twenty File menu entries with captions and tool tips, parsed no more than that needs.
#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace {

// The scale at which a caption fits its control at the desktop's font.
qreal fittingScale(QWidget* captioned, const QRect& area)
{
    const QSize wanted = captioned->inherits("QLineEdit")
        ? QSize(0,
            captioned->fontMetrics().height()
                + 2 * captioned->style()->pixelMetric(QStyle::PM_DefaultFrameWidth))
        : captioned->sizeHint();
    return std::max(qreal(wanted.width()) / area.width(), qreal(wanted.height()) / area.height());
}

void addEntries(QMenu* file, QAction* below, const QString& settingsFile)
{
    QFile settings(settingsFile);
    if (!settings.open(QIODevice::ReadOnly))
        return;
    bool inList = false;
    int index = 0;
    for (const QByteArray& line : settings.readAll().split('\n')) {
        if (line.startsWith('[')) {
            inList = line == "[Recent%20Files]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inList || equals < 0)
            continue;
        const QString path = QString::fromUtf8(line.mid(equals + 1));
        const QString shown = path.size() > 25 ? "..." + path.mid(path.lastIndexOf('/')) : path;
        auto* entry = new QAction(QStringLiteral("&%1   %2").arg(++index).arg(shown), file);
        entry->setToolTip(path);
        file->insertAction(below, entry);
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const qsizetype standIn = arguments.indexOf(QStringLiteral("--stand-in"));
    QMainWindow window(nullptr,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window.setWindowTitle(QStringLiteral("Bare window"));

    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    for (const char* item : {"&New", "&Open", "Sa&ve", "Save &As"})
        file->addAction(QString::fromLatin1(item));
    file->addSeparator()->setVisible(standIn > 0);
    file->addAction(QString())->setVisible(false);
    QAction* belowEntries = file->addSeparator();
    file->addAction(QStringLiteral("E&xit"));
    QMenu* edit = window.menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->addAction(QStringLiteral("Cu&t"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    edit->addAction(QStringLiteral("C&opy"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    edit->addAction(QStringLiteral("Paste"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    edit->addSeparator();
    edit->addAction(QStringLiteral("Find"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    window.menuBar()->addMenu(QStringLiteral("&Tools"))->addAction(QStringLiteral("&Options..."));

    auto* client = new QWidget(&window);
    window.setCentralWidget(client);
    auto* open = new QPushButton(QStringLiteral("Open"), client);
    auto* log = new QPlainTextEdit(client);
    log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* credit = new QLabel(QStringLiteral("HIX Demo by Aldo Veskin"), client);
    auto* label = new QLabel(QStringLiteral("Maximum Number of Recently Used Files"), client);
    auto* submit = new QPushButton(QStringLiteral("Submit New Max HIX"), client);
    auto* maximum = new QLineEdit(QStringLiteral("4"), client);
    const std::initializer_list<std::pair<QWidget*, QRect>> placed{
        {open, {64, 56, 81, 33}},
        {log, {16, 104, 321, 177}},
        {credit, {33, 296, 289, 17}},
        {label, {49, 17, 193, 17}},
        {submit, {192, 56, 105, 33}},
        {maximum, {264, 16, 41, 19}},
    };
    qreal scale = 1;
    for (const auto& [widget, area] : placed) {
        if (standIn > 0 && widget != log && widget != credit)
            scale = std::max(scale, fittingScale(widget, area));
    }
    scale = std::ceil(scale * 100) / 100;
    const auto scaled = [scale](const QRect& area) {
        return QRect(qRound(area.x() * scale), qRound(area.y() * scale),
            qRound(area.width() * scale), qRound(area.height() * scale));
    };
    for (const auto& [widget, area] : placed)
        widget->setGeometry(scaled(area));
    client->setFixedSize(scaled({0, 0, 354, 321}).size());
    if (standIn > 0 || arguments.contains(QStringLiteral("--credit-face"))) {
        QFont face;
        face.setFamily(QFontInfo(face).family());
        face.setPointSizeF(9.75 * scale);
        face.setBold(true);
        face.setItalic(true);
        credit->setFont(face);
    }
    if (standIn > 0)
        addEntries(file, belowEntries, arguments.value(standIn + 1));
    window.show();
    return QApplication::exec();
}
