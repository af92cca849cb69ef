#include "window/form1.h"

#include "window/dialogmessagebox.h"
#include "window/menuentries.h"
#include "window/openfiledialog.h"
#include "window/taskbar.h"
#include "window/textboxes.h"
#include "window/windowstyle.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

namespace {

// A file being written is looked at again a tenth of a second later. A save that could not be
// made is tried again after a second, then after twice as long each time, up to a minute.
constexpr std::chrono::milliseconds settleLook{100};
constexpr std::chrono::seconds firstRetry{1};
constexpr std::chrono::seconds longestRetry{60};

// Positions and sizes are given in twips: 15 to a logical pixel at a scale of 1.
QRect fromTwips(const QRect& twips, qreal scale)
{
    const auto pixels = [scale](int twips) { return qRound(twips * scale / 15.0); };
    return {
        pixels(twips.left()), pixels(twips.top()), pixels(twips.width()), pixels(twips.height())};
}

// At a fractional device pixel ratio (QT_SCALE_FACTOR=1.25), an edge that falls between device
// pixels loses the frame line drawn on it: every edge is moved to the nearest whole device pixel.
QRect onWholePixels(const QRect& logical, qreal ratio)
{
    int step = 1;
    while (step < 8 && std::abs(step * ratio - std::round(step * ratio)) > 0.001)
        ++step;
    const auto down = [step](int value) { return value / step * step; };
    const auto up = [step](int value) { return (value + step - 1) / step * step; };
    return QRect(QPoint(down(logical.left()), down(logical.top())),
        QPoint(up(logical.right() + 1) - 1, up(logical.bottom() + 1) - 1));
}

struct Placed {
    QWidget* widget;
    QRect twips;
};

// The geometry is fixed in its proportions, the user's font is not: the whole layout grows by the
// smallest scale, 1 or more, at which every caption fits its control at the desktop's font, and
// text is never shrunk below the size the user chose. Each caption is measured once. The text
// boxes' widths hold no caption, and the credit's font grows with the layout, so it fits at any
// scale where it fits at 1.
qreal fittingScale(std::initializer_list<Placed> controls)
{
    qreal scale = 1;
    for (const auto& [widget, twips] : controls) {
        if (widget->inherits("QPlainTextEdit") || widget->objectName() == QLatin1String("Label2"))
            continue;
        const QSizeF described = QSizeF(twips.size()) / 15.0;
        if (widget->inherits("QLineEdit")) {
            // What a line edit must show is a line of text within its frame, not its size hint's
            // room for some twenty characters.
            const int frame
                = widget->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, widget);
            scale = std::max(
                scale, (widget->fontMetrics().height() + 2 * frame) / described.height());
            continue;
        }
        const QSize wanted = widget->sizeHint();
        scale = std::max(scale, wanted.width() / described.width());
        scale = std::max(scale, wanted.height() / described.height());
    }
    // A hundredth more than just enough, so that rounding to pixels clips nothing.
    return scale > 1 ? std::ceil(scale * 100) / 100 : scale;
}

// The largest scale at which the window stays within the screen's available area: the client
// area, the menu bar, and the title bar and borders a window manager adds, which are not known
// before the window is shown and are taken to be the style's own.
qreal screenScale(const QWidget& window, int menuBarHeight)
{
    const QRect available = window.screen()->availableGeometry();
    const int border = window.style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 2;
    const int titleBar = window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
    return std::min((available.width() - 2 * border) / 354.0,
        (available.height() - titleBar - 2 * border - menuBarHeight) / 321.0);
}

// Widgets must not outlive their style: the application's lasts longer than any window.
WindowStyle* windowStyle()
{
    static WindowStyle* const style = [] {
        auto* made = new WindowStyle;
        made->setParent(QCoreApplication::instance());
        return made;
    }();
    return style;
}

// Where the screen leaves too little room for the desktop's font, a caption that cannot fit its
// control is cut short with "…", and says the whole of it as its tool tip and to screen readers.
template<typename Control>
void fitCaption(Control* control)
{
    const QString whole = control->text();
    const QFontMetrics metrics = control->fontMetrics();
    const int room
        = control->width() - (control->sizeHint().width() - metrics.horizontalAdvance(whole));
    if (metrics.horizontalAdvance(whole) <= room)
        return;
    control->setText(metrics.elidedText(whole, Qt::ElideRight, room));
    control->setToolTip(whole);
    control->setAccessibleName(whole);
}

QAction* addItem(
    QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {})
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(shortcut);
    return action;
}

QAction* addSeparator(QMenu* menu, const char* name)
{
    QAction* separator = menu->addSeparator();
    separator->setObjectName(QLatin1String(name));
    return separator;
}

QFont creditFont(qreal scale)
{
    // Asking for a family that is not installed makes the font database search all fonts for a
    // substitute, a millisecond at start-up. That holds for the desktop's own family too when it
    // is a generic name such as "Sans Serif", so the fallback is the family it resolved to.
    QFont font;
    font.setFamily(QFontInfo(font).family());
    const QStringList installed = QFontDatabase::families();
    for (const char* family :
        {"Swis721 BT", "Helvetica", "Arial", "Liberation Sans", "Nimbus Sans"}) {
        if (installed.contains(QLatin1String(family), Qt::CaseInsensitive)) {
            font.setFamily(QLatin1String(family));
            break;
        }
    }
    font.setPointSizeF(9.75 * scale);
    font.setWeight(QFont::Bold);
    font.setItalic(true);
    return font;
}

} // namespace

Form1::Form1(SettingsStore& store, MessageBox* messageBox, FileDialog* fileDialog)
    : QMainWindow(nullptr,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , ownMessageBox(messageBox
              ? nullptr
              : std::make_unique<DialogMessageBox>(this, QStringLiteral("HIX Demo")))
    , ownFileDialog(fileDialog ? nullptr : std::make_unique<OpenFileDialog>(this))
    , messageBox(messageBox ? *messageBox : *ownMessageBox)
    , CommonDialog1(fileDialog ? *fileDialog : *ownFileDialog)
    , hix(store, this->messageBox)
    , retryDelay(firstRetry)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("HIX Demo - Aldo Veskin"));
    createMenus();
    createControls();
    settling.setSingleShot(true);
    settling.setInterval(settleLook);
    connect(&settling, &QTimer::timeout, this, &Form1::refreshList);
    retry.setSingleShot(true);
    connect(&retry, &QTimer::timeout, this, &Form1::saveKept);
    // Nothing in the window changes size once it is built.
    setFixedSize(sizeHint());
}

Form1::~Form1() = default;

void Form1::setVisible(bool visible)
{
    const bool loading = visible && !std::exchange(loaded, true);
    if (loading) {
        Form_Load();
        keepOutOfTaskBar(this);
    }
    QMainWindow::setVisible(visible);
    // What the store said as the list was restored is said over the window.
    if (loading)
        showStoreNotices();
}

MenuEntryArray& Form1::mnuHIX()
{
    return *entries;
}

MenuItem& Form1::mnuBar1()
{
    return *separatorAboveEntries;
}

TextBox& Form1::Text1()
{
    return *log;
}

TextBox& Form1::maxHixTxt()
{
    return *maximumBox;
}

void Form1::createMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    file->setToolTipsVisible(true);
    file->setStyle(windowStyle());
    addItem(file, "mnuNew", QStringLiteral("&New"));
    QAction* open = addItem(file, "mnuOpen", QStringLiteral("&Open"));
    connect(open, &QAction::triggered, this, &Form1::mnuOpen_Click);
    addItem(file, "mnuSave", QStringLiteral("Sa&ve"));
    addItem(file, "mnuSaveAs", QStringLiteral("Save &As"));
    QAction* aboveEntries = addSeparator(file, "mnuBar1");
    aboveEntries->setVisible(false);
    separatorAboveEntries = std::make_unique<ActionMenuItem>(aboveEntries);
    entries = new ActionEntryArray(file, addSeparator(file, "mnuBar2"));
    connect(entries, &ActionEntryArray::entryTriggered, this, &Form1::mnuHIX_Click);
    fileMenu = file;
    // What changed while the user was choosing shows once the menu has closed and the choice is
    // made: no entry changes under the pointer.
    connect(file, &QMenu::aboutToHide, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (!listInUse() && std::exchange(refreshWaiting, false))
                refreshList();
        });
    });
    QAction* exit = addItem(file, "mnuExit", QStringLiteral("E&xit"));
    connect(exit, &QAction::triggered, this, &Form1::mnuExit_Click);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("mnuEdit"));
    inertShortcutItems = {
        addItem(edit, "mnuCut", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X)),
        addItem(edit, "mnuCopy", QStringLiteral("C&opy"), QKeySequence(Qt::CTRL | Qt::Key_C)),
        addItem(edit, "mnuPaste", QStringLiteral("Paste"), QKeySequence(Qt::CTRL | Qt::Key_V)),
    };
    addSeparator(edit, "mnuBreak2");
    inertShortcutItems.append(
        addItem(edit, "mnuFind", QStringLiteral("Find"), QKeySequence(Qt::CTRL | Qt::Key_F)));

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    tools->setObjectName(QStringLiteral("mnuTools"));
    addItem(tools, "mnuOptions", QStringLiteral("&Options..."));
}

void Form1::createControls()
{
    auto* client = new QWidget(this);
    setCentralWidget(client);

    auto* Command1 = new QPushButton(QStringLiteral("Open"), client);
    Command1->setObjectName(QStringLiteral("Command1"));
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);

    auto* Label1 = new QLabel(QStringLiteral("Maximum Number of Recently Used Files"), client);
    Label1->setObjectName(QStringLiteral("Label1"));

    auto* Command2 = new QPushButton(QStringLiteral("Submit New Max HIX"), client);
    Command2->setObjectName(QStringLiteral("Command2"));
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);

    auto* Text1 = new QPlainTextEdit(client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text1->setTabChangesFocus(true);
    Text1->setAccessibleName(QStringLiteral("Opened files"));
    Text1->setStyle(windowStyle());
    // The log is a list of paths, which read left to right in every language, from their start.
    Text1->setLayoutDirection(Qt::LeftToRight);
    QTextOption leftToRight = Text1->document()->defaultTextOption();
    leftToRight.setTextDirection(Qt::LeftToRight);
    Text1->document()->setDefaultTextOption(leftToRight);
    log = std::make_unique<PlainTextEditTextBox>(Text1);

    auto* Label2 = new QLabel(QStringLiteral("HIX Demo by Aldo Veskin"), client);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setAutoFillBackground(true);
    QPalette colours = Label2->palette();
    colours.setColor(QPalette::WindowText, QColor(0, 0, 255));
    colours.setColor(QPalette::Window, QColor(255, 255, 192));
    Label2->setPalette(colours);

    auto* maxHixTxt = new QLineEdit(QStringLiteral("4"), client);
    maxHixTxt->setObjectName(QStringLiteral("maxHixTxt"));
    maxHixTxt->setAccessibleDescription(QStringLiteral("1 to 20; applied with Submit New Max HIX"));
    maxHixTxt->setStyle(windowStyle());
    maximumBox = std::make_unique<LineEditTextBox>(maxHixTxt);
    Label1->setBuddy(maxHixTxt);

    const std::initializer_list<Placed> placed{
        {Command1, {960, 840, 1215, 495}},
        {Text1, {240, 1560, 4815, 2655}},
        {Label2, {488, 4440, 4335, 255}},
        {Label1, {728, 255, 2895, 255}},
        {Command2, {2880, 840, 1575, 495}},
        {maxHixTxt, {3960, 240, 615, 285}},
    };
    const qreal fitting = fittingScale(placed);
    const qreal scale = std::min(fitting, screenScale(*this, menuBar()->sizeHint().height()));
    const qreal ratio = screen()->devicePixelRatio();
    for (const auto& [widget, twips] : placed)
        widget->setGeometry(onWholePixels(fromTwips(twips, scale), ratio));
    client->setFixedSize(onWholePixels(fromTwips({0, 0, 5310, 4815}, scale), ratio).size());
    Label2->setFont(creditFont(scale));
    if (scale < fitting) {
        fitCaption(Command1);
        fitCaption(Command2);
        fitCaption(Label1);
    }

    setTabOrder(Command1, Text1);
    setTabOrder(Text1, Command2);
    setTabOrder(Command2, maxHixTxt);
    Command1->setFocus();

    // Ctrl+X, C, V and F belong to the Edit menu even while a text box has the focus.
    Text1->installEventFilter(this);
    maxHixTxt->installEventFilter(this);
}

// The keyboard's focus shows from the start, and whenever the window is active again after a box
// or the Open dialog, as it would after a Tab.
bool Form1::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        setAttribute(Qt::WA_KeyboardFocusChange);
    return QMainWindow::event(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* item : std::as_const(inertShortcutItems)) {
            if (item->shortcut() == pressed) {
                // Left unaccepted, the key goes to the shortcut instead of the text box.
                event->ignore();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::Form_Load()
{
    guarded("Restoring the recent files failed", [this] { hix.startUp(*this); });
}

void Form1::Command1_Click()
{
    guarded("Opening a file failed", [this] { ChooseFile(); });
}

void Form1::mnuOpen_Click()
{
    guarded("Opening a file failed", [this] { ChooseFile(); });
}

void Form1::Command2_Click()
{
    guarded("Setting the maximum failed", [this] { hix.submitMaximum(); });
}

void Form1::mnuHIX_Click(std::int16_t index)
{
    guarded("Opening a recent file failed", [this, index] {
        // The path the user chose, wherever another copy's list puts it.
        const std::string path = entries->tag(index);
        // A hand-edited file can count an entry it holds no path for: opening an empty path
        // would make the list look empty at the next start.
        if (path.empty())
            return;
        hix.open(path);
    });
}

void Form1::mnuExit_Click()
{
    close();
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (runningActions == 0) {
        try {
            hix.saveKept();
        } catch (const std::exception& error) {
            qWarning("Saving the recent files failed: %s", error.what());
        }
        hix.takeStoreNotices();
    }
    QMainWindow::closeEvent(event);
}

void Form1::refreshList()
{
    if (listInUse()) {
        refreshWaiting = true;
        return;
    }
    guarded("Reading the recent files failed", [this] {
        if (hix.refreshFromStore() == Refreshed::Settling)
            settling.start();
        hix.saveKept();
    });
}

void Form1::saveKept()
{
    if (listInUse()) {
        refreshWaiting = true;
        return;
    }
    guarded("Saving the recent files failed", [this] { hix.saveKept(); });
}

void Form1::showStoreNotices()
{
    for (const StoreNotice& notice : hix.takeStoreNotices()) {
        if (notice.failure)
            messageBox.showError(notice.text);
        else
            messageBox.showNotice(notice.text);
    }
}

// An action under way, or the File menu open: the list changes only after them.
bool Form1::listInUse() const
{
    return runningActions > 0 || fileMenu->isVisible();
}

// While anything is kept, the window tries again by itself, waiting longer each time.
void Form1::keepTrying()
{
    if (!hix.hasKept()) {
        retry.stop();
        retryDelay = firstRetry;
        return;
    }
    if (!retry.isActive()) {
        retry.start(retryDelay);
        retryDelay = std::min(2 * retryDelay, longestRetry);
    }
}

void Form1::ChooseFile()
{
    // A cancelled dialog opens nothing: an empty path would empty the stored list.
    if (const std::optional<std::string> chosen = CommonDialog1.chooseFileToOpen())
        hix.open(*chosen);
}

// Any error reaches the user, and a refresh that came in meanwhile runs once the action is over.
template<typename Handler>
void Form1::guarded(const char* failure, Handler handler)
{
    ++runningActions;
    try {
        handler();
    } catch (const std::exception& error) {
        messageBox.showError(std::string(failure) + ".\n\n" + error.what());
    }
    // Before the window first shows, what the store says waits for it.
    if (isVisible())
        showStoreNotices();
    --runningActions;
    if (runningActions > 0)
        return;
    keepTrying();
    if (std::exchange(refreshWaiting, false))
        refreshList();
}
